# Warnings are set per target; SUITE_WERROR (on in CI) makes them errors.
function(suite_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${SUITE_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${SUITE_WERROR}>:-Werror>)
    endif()
endfunction()
