# cmake -DTOOL=<program> -DPACKAGE=<Debian package> -P run_tool.cmake -- <arguments>
# Runs a checking tool and fails with its exit status. A tool that is not installed
# fails the test too, naming the package that brings it, instead of skipping.
#
# With -DEACH=<flags> -DOUT_DIR=<folder> the tool is a compiler, run once for each
# argument (a source) with the flags, all side by side; -DNM=<nm> -DIMPORTS=<functions>
# then name the Windows functions the objects must import, so that Windows-only code
# stays buildable and calls what it should. Flags and functions are separated by blanks. Looked up here, not at configure time, so that installing
# a tool later needs no re-configure.
foreach(name TOOL NM)
    if(DEFINED ${name})
        find_program(${name}_path NAMES ${${name}} NO_CACHE)
        if(NOT ${name}_path)
            message(FATAL_ERROR "${${name}} is not installed: it comes with the Debian package "
                                "${PACKAGE} (tools/install-deps.sh)")
        endif()
    endif()
endforeach()

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

separate_arguments(EACH)
separate_arguments(IMPORTS)
if(NOT EACH)
    execute_process(COMMAND ${TOOL_path} ${args} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOOL} failed (${result})")
    endif()
    return()
endif()

# The commands of one execute_process run side by side (as a pipeline, though a compiler
# neither reads nor writes the pipe). Objects are numbered, so that same-named sources of
# different folders do not overwrite each other.
file(MAKE_DIRECTORY "${OUT_DIR}")
set(objects)
set(compiles)
foreach(source IN LISTS args)
    list(LENGTH objects n)
    get_filename_component(name "${source}" NAME_WE)
    list(APPEND objects "${OUT_DIR}/${n}_${name}.o")
    list(APPEND compiles COMMAND ${TOOL_path} ${EACH} -c -o "${OUT_DIR}/${n}_${name}.o" "${source}")
endforeach()
execute_process(${compiles} RESULTS_VARIABLE results)
foreach(source result IN ZIP_LISTS args results)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOOL} failed on ${source}")
    endif()
endforeach()
execute_process(COMMAND ${NM_path} ${objects} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
foreach(import IN LISTS IMPORTS)
    if(NOT result EQUAL 0 OR NOT symbols MATCHES " U __imp_${import}\n")
        message(FATAL_ERROR "No object of ${args} imports ${import}:\n${symbols}")
    endif()
endforeach()
message(STATUS "${TOOL} compiles ${args}, which import ${IMPORTS}")
