# cmake -DOUT_DIR=... -DREQUIRED_IMPORTS=a;b -P this.cmake -- source...
# Compiles each source with the MinGW cross compiler and checks that the objects import the
# required Windows functions, so Windows-only code stays buildable from Linux. Looked up here,
# not at configure time, so installing the compiler later needs no re-configure.
find_program(CXX x86_64-w64-mingw32-g++)
find_program(NM x86_64-w64-mingw32-nm)
if(NOT CXX OR NOT NM)
    message(FATAL_ERROR "x86_64-w64-mingw32-g++ or -nm not found: the Windows sources cannot be "
                        "checked. Install g++-mingw-w64-x86-64 (make deps).")
endif()

set(sources)
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
    if(after_separator)
        list(APPEND sources "${CMAKE_ARGV${i}}")
    elseif(CMAKE_ARGV${i} STREQUAL "--")
        set(after_separator TRUE)
    endif()
endforeach()
if(NOT sources)
    message(FATAL_ERROR "VELMORA_WINDOWS_SOURCES is empty")
endif()

file(MAKE_DIRECTORY "${OUT_DIR}")
set(objects)
set(compiles)
set(index 0)
foreach(source IN LISTS sources)
    # Numbered, so same-named files from different folders do not overwrite each other.
    math(EXPR index "${index} + 1")
    get_filename_component(name "${source}" NAME_WE)
    set(object "${OUT_DIR}/${index}_${name}.o")
    list(APPEND compiles COMMAND "${CXX}" -std=c++20 -Wall -Wextra -Werror -c -o "${object}" "${source}")
    list(APPEND objects "${object}")
endforeach()
# All at once: the commands of one execute_process run side by side (as a pipeline,
# though a compiler neither reads nor writes the pipe).
execute_process(${compiles} RESULTS_VARIABLE results)
foreach(source result IN ZIP_LISTS sources results)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cross-compiling ${source} failed")
    endif()
    message(STATUS "compiled ${source}")
endforeach()

execute_process(COMMAND "${NM}" ${objects} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${objects}")
endif()
foreach(import IN LISTS REQUIRED_IMPORTS)
    if(NOT symbols MATCHES " U ${import}\n")
        message(FATAL_ERROR "No object references ${import}:\n${symbols}")
    endif()
endforeach()
message(STATUS "all Windows sources compile")
