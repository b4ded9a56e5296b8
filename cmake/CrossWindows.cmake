# What a cross build for Windows needs from the Debian host: GoogleTest built from Debian's
# sources (which names its targets GTest::gtest, GTest::gmock, ...), the header-only libraries without the host's system headers, and Wine to run things.
if(SUITE_BUILD_TESTS)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# Only the two libraries' own folders, never the host's /usr/include as a whole.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})
file(CREATE_LINK /usr/include/CLI ${host_headers}/CLI SYMBOLIC)
file(CREATE_LINK /usr/include/nlohmann ${host_headers}/nlohmann SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 INTERFACE ${host_headers})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${host_headers})

# A throw-away Wine prefix under the build folder.
# No Mono or Gecko installers, and no display: nothing may wait for a click.
set(SUITE_TEST_RUNNER ${CMAKE_COMMAND} -E env --unset=DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${PROJECT_SOURCE_DIR}/scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SUITE_TEST_RUNNER})
# The windows' tests keep the display (make test-windows runs them on a virtual one).
set(SUITE_GUI_TEST_RUNNER ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${PROJECT_SOURCE_DIR}/scripts/wine-run --display)
