# cmake -DDIST=<dist folder> -DAPP_ID=<id> -DOUT=<scratch folder> -P check_generated.cmake
# Runs the drawing scripts into OUT and compares with the committed files.
find_program(python NAMES python3 NO_CACHE)
if(NOT python)
    message(FATAL_ERROR "python3 is not installed: it comes with the Debian package python3")
endif()

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
foreach(run "make_hand_cursor.py;${OUT}/HAND-M.CUR" "make_icons.py;${OUT}/icons")
    list(GET run 0 script)
    list(GET run 1 target)
    execute_process(COMMAND ${python} ${DIST}/tools/${script} ${target} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${script} failed (${result})")
    endif()
endforeach()

set(failed "")
foreach(file HAND-M.CUR icons/${APP_ID}.svg icons/48x48/${APP_ID}.png icons/${APP_ID}.ico)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUT}/${file}" "${DIST}/${file}"
                    RESULT_VARIABLE differs)
    if(differs)
        list(APPEND failed "dist/${file}")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "Not what the scripts in dist/tools draw: ${failed}\n"
                        "Run the scripts to rewrite them, or fix the scripts.")
endif()
