# Every Windows program carries the suite's version and an application manifest (common controls 6,
# per-monitor DPI awareness, asInvoker).
enable_language(RC)

# The architecture in the names of the Windows packages.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(SUITE_WINDOWS_ARCH win64)
else()
    set(SUITE_WINDOWS_ARCH win32)
endif()

# suite_add_windows_resources(<target> <description>)
function(suite_add_windows_resources target description)
    set(SUITE_PROGRAM ${target})
    set(SUITE_PROGRAM_DESCRIPTION "${description}")
    set(SUITE_MANIFEST ${PROJECT_SOURCE_DIR}/platform/win32/app.manifest)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/platform/win32/program.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${SUITE_MANIFEST})
endfunction()
