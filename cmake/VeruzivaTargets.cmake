# veruziva_library(<name> SOURCES ... LINKS ...): one static library per source folder.
function(veruziva_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE veruziva_warnings)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()

# Every test runs with a home, a runtime folder and a temporary folder of its own in the build
# tree, away from any sound server of the machine, so that nothing it or a library it uses (Qt, the sound server's client) writes lands
# outside it: veruziva_test_environment(<test>).
set(VERUZIVA_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
file(MAKE_DIRECTORY ${VERUZIVA_TEST_HOME}/home ${VERUZIVA_TEST_HOME}/run ${VERUZIVA_TEST_HOME}/tmp)
file(CHMOD ${VERUZIVA_TEST_HOME}/run DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
function(veruziva_test_environment name)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
        "HOME=${VERUZIVA_TEST_HOME}/home" "XDG_RUNTIME_DIR=${VERUZIVA_TEST_HOME}/run"
        "TMPDIR=${VERUZIVA_TEST_HOME}/tmp" "XDG_CONFIG_HOME=${VERUZIVA_TEST_HOME}/home/.config"
        # No test reaches the desktop's sound server (through the environment or the display):
        # the ones that need a server start a private one and point PULSE_SERVER at it.
        "PULSE_SERVER=unix:${VERUZIVA_TEST_HOME}/run/no-sound-server")
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION "DISPLAY=unset:")
endfunction()

# veruziva_test(<name> SOURCES ... LINKS ... [LABELS ...]): one Qt Test executable, registered
# with CTest. Labels: unit (the default: in-process, no sound system, fast), integration (real
# libasound, a private sound server, other processes), system (the real programs end to end),
# slow (left out of the fast loop, `ctest --preset unit`), threads (code of ours on more than one
# thread: the tsan preset runs these).
function(veruziva_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;ENVIRONMENT;LABELS" ${ARGN})
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} veruziva_test_support Qt6::Test
        veruziva_warnings)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}"
        LABELS "${ARG_LABELS}"
        TIMEOUT 300)
    veruziva_test_environment(${name})
endfunction()
