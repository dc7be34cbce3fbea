# cmake -DTOOL=<program> -DPACKAGE=<debian package> -P run_tool.cmake -- <arguments>
# Runs a checking tool and fails with its exit code. A tool that is not
# installed fails the test too, saying where to get it, instead of skipping.
find_program(tool_path NAMES ${TOOL} NO_CACHE)
if(NOT tool_path)
    message(FATAL_ERROR "${TOOL} is not installed: it comes with the Debian package ${PACKAGE}")
endif()

set(args "")
set(after_dashes OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
    if(after_dashes)
        list(APPEND args "${CMAKE_ARGV${i}}")
    elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(after_dashes ON)
    endif()
endforeach()

execute_process(COMMAND ${tool_path} ${args} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed (${result})")
endif()
