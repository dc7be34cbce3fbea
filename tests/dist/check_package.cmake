# cmake -DCPACK=<cpack> -DBUILD_DIR=<build tree> -DWORK=<scratch folder> [-DCONFIG=<type>]
#       -P check_package.cmake
# Packs the build tree as the Debian package and has lintian check it, pedantic tags
# included: any tag fails the test, and so does a missing lintian. A Debug tree is
# built without the checked libc calls, which need the optimiser; it is never the
# package we ship, so only that tag is let pass there.
find_program(lintian NAMES lintian NO_CACHE)
if(NOT lintian)
    message(FATAL_ERROR "lintian is not installed: it comes with the Debian package lintian")
endif()

file(REMOVE_RECURSE "${WORK}")
execute_process(
    COMMAND "${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB debs "${WORK}/*.deb")
list(LENGTH debs count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack did not make one package (${result}):\n${output}")
endif()

set(allowed)
if(CONFIG STREQUAL "Debug")
    set(allowed --suppress-tags hardening-no-fortify-functions)
endif()
execute_process(
    COMMAND "${lintian}" --pedantic --display-info --fail-on error,warning,info,pedantic
            --tag-display-limit 0 ${allowed} ${debs}
    RESULT_VARIABLE result OUTPUT_VARIABLE tags ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR tags MATCHES "[EWIP]: ")
    message(FATAL_ERROR "lintian on ${debs} (${result}):\n${tags}${errors}")
endif()
message(STATUS "lintian finds nothing in ${debs}")
