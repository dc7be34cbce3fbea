# Installs the build with DESTDIR into a scratch folder, the way the Debian
# package is staged, and checks the layout and that the files agree.
#   -DBUILD_DIR -DCONFIG -DSTAGE -DBINDIR -DLIBDIR -DDATADIR -DPROGRAM
#   -DBUILT_PROGRAM -DDIST -DAPP_ID
set(problems "")
macro(problem text)
    list(APPEND problems "${text}")
endmacro()

function(same_as file source)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${file}" "${DIST}/${source}"
                    RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
    if(differs)
        set(problems ${problems} "${file} is missing or differs from dist/${source}" PARENT_SCOPE)
    endif()
endfunction()

function(dir_of var dir)
    if(IS_ABSOLUTE "${dir}")
        set(${var} "${dest}${dir}" PARENT_SCOPE)
    else()
        set(${var} "${dest}${prefix}/${dir}" PARENT_SCOPE)
    endif()
endfunction()

file(REMOVE_RECURSE "${STAGE}")
set(dest "${STAGE}/destdir")
set(prefix "${STAGE}/prefix")
set(ENV{DESTDIR} "${dest}")
execute_process(
    COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --config "${CONFIG}" --prefix "${prefix}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result})")
endif()
if(EXISTS "${prefix}")
    problem("files were installed outside DESTDIR, under ${prefix}")
endif()

dir_of(bin "${BINDIR}")
dir_of(app "${LIBDIR}/velmora")
dir_of(share "${DATADIR}")

# The program and its cursor share a folder; the cursor is the committed one.
find_program(program NAMES "${PROGRAM}" PATHS "${app}" NO_DEFAULT_PATH NO_CACHE)
if(NOT program)
    problem("no executable ${app}/${PROGRAM}")
endif()
same_as("${app}/HAND-M.CUR" HAND-M.CUR)

# A build-tree run finds its cursor beside the program too.
get_filename_component(built_dir "${BUILT_PROGRAM}" DIRECTORY)
same_as("${built_dir}/HAND-M.CUR" HAND-M.CUR)

# The command on PATH is a relative link, so it survives being moved out of
# DESTDIR into the package, and it must end at the installed program.
set(link "${bin}/velmora")
if(NOT IS_SYMLINK "${link}")
    problem("${link} is not a symlink")
else()
    file(READ_SYMLINK "${link}" link_target)
    if(IS_ABSOLUTE "${link_target}")
        problem("${link} points to an absolute path: ${link_target}")
    endif()
    file(REAL_PATH "${link}" resolved)
    file(REAL_PATH "${app}/${PROGRAM}" real_program)
    if(NOT resolved STREQUAL real_program OR NOT EXISTS "${resolved}")
        problem("${link} -> ${link_target} does not reach ${app}/${PROGRAM}")
    endif()
endif()

# Desktop integration files are installed unchanged under their standard names.
set(desktop "${share}/applications/${APP_ID}.desktop")
set(metainfo "${share}/metainfo/${APP_ID}.metainfo.xml")
set(svg "${share}/icons/hicolor/scalable/apps/${APP_ID}.svg")
set(png "${share}/icons/hicolor/48x48/apps/${APP_ID}.png")
same_as("${desktop}" ${APP_ID}.desktop)
same_as("${metainfo}" ${APP_ID}.metainfo.xml)
same_as("${svg}" icons/${APP_ID}.svg)
same_as("${png}" icons/48x48/${APP_ID}.png)
# The bash completion, sourced as bash-completion does, completes through the installed program.
set(completion "${share}/bash-completion/completions/velmora")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PATH=${bin}:$ENV{PATH}" bash -c [=[source "$0" &&
    for line in "--" "--set Page" "--set Home =" "--show --"; do COMP_WORDS=(velmora $line)
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _velmora; echo "${COMPREPLY[*]}"; done]=] "${completion}"
    OUTPUT_VARIABLE completed ERROR_VARIABLE completed)
if(NOT completed STREQUAL "--show --set --reset --help --version\nPageLayout=\n0 1\n--json\n")
    problem("${completion} completes --, --set Page, --set Home = and --show -- as:\n${completed}")
endif()

# The Debian package's own files stay out of a plain install.
foreach(debian_only doc/velmora/changelog.Debian.gz lintian/overrides/velmora)
    if(EXISTS "${share}/${debian_only}")
        problem("a plain install has the Debian package's ${debian_only}")
    endif()
endforeach()

if(EXISTS "${png}")
    file(READ "${png}" ihdr OFFSET 12 LIMIT 12 HEX)
    if(NOT ihdr STREQUAL "494844520000003000000030")
        problem("${png} is not a 48x48 PNG (IHDR ${ihdr})")
    endif()
endif()

# The names that tie the files together: Exec is the command on PATH, Icon the
# installed icon's name, and the metainfo launches this desktop entry. A menu launch
# opens no terminal beside the window, and shows that it is starting until it comes.
if(EXISTS "${desktop}")
    file(STRINGS "${desktop}" entry)
    foreach(line "Exec=velmora" "Icon=${APP_ID}" "Terminal=false" "StartupNotify=true")
        list(FIND entry "${line}" at)
        if(at EQUAL -1)
            problem("the desktop entry lacks ${line}")
        endif()
    endforeach()
endif()
if(EXISTS "${metainfo}")
    file(READ "${metainfo}" xml)
    foreach(expected "<id>${APP_ID}</id>"
                     "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>"
                     "<binary>velmora</binary>")
        string(FIND "${xml}" "${expected}" at)
        if(at EQUAL -1)
            problem("metainfo lacks ${expected}")
        endif()
    endforeach()
endif()

# Started through the command on PATH, the installed program finds the cursor
# in its own folder: reading it is what loads Qt's .cur image plugin. Without
# the file beside it, the plugin stays unloaded, which shows the check can fail.
# The window never ends by itself: it is ended once it has nothing left to do, asleep
# with no CPU time used for 0.3 s (at most 30 s), which a busy machine only delays.
function(cursor_read_by_installed_program result)
    file(MAKE_DIRECTORY "${STAGE}/config")
    execute_process(
        COMMAND sh -c [=[
            QT_QPA_PLATFORM=offscreen QT_DEBUG_PLUGINS=1 XDG_CONFIG_HOME=config "$0" & pid=$!
            for _ in $(seq 300); do
                sleep 0.1
                now=$(cut -d' ' -f3,14,15 /proc/$pid/stat) || break
                [ "$now" = "$before" ] && [ "${now%% *}" = S ] && quiet=$((quiet + 1)) || quiet=0
                [ "$quiet" -ge 3 ] && break
                before=$now
            done
            kill $pid; wait $pid]=] "${link}"
        WORKING_DIRECTORY "${STAGE}"
        TIMEOUT 60
        OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(out MATCHES "libqico[^\n]*loaded library")
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()
if(EXISTS "${link}" AND EXISTS "${app}/HAND-M.CUR")
    cursor_read_by_installed_program(read_with)
    file(RENAME "${app}/HAND-M.CUR" "${STAGE}/HAND-M.CUR.aside")
    cursor_read_by_installed_program(read_without)
    file(RENAME "${STAGE}/HAND-M.CUR.aside" "${app}/HAND-M.CUR")
    message(STATUS "cursor read with the file: ${read_with}, without: ${read_without}")
    if(NOT read_with)
        problem("the installed program, started as ${link}, did not read the cursor beside it")
    endif()
    if(read_without)
        problem("the cursor check cannot tell: the image plugin loads without the cursor file")
    endif()
endif()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Install layout is wrong:\n  ${text}")
endif()
message(STATUS "Install layout checked under ${dest}${prefix}")
