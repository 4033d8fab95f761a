# Test helpers shared by tests/ and fuzz/.
#
#   vd_find_googletest()
#       GoogleTest and GoogleMock as GTest::gtest, GTest::gtest_main, GTest::gmock and
#       GTest::gmock_main: an installed package where this configuration finds one (Debian's
#       libgtest-dev and libgmock-dev for the host compiler), else built from source with this
#       configuration's flags (VD_GOOGLETEST_SOURCE_DIR, default Debian's googletest package in
#       /usr/src/googletest; the mingw trees always take this way).
#
#   vd_add_test(NAME <name> SOURCES <src>... [LIBS <lib>...] [TIMEOUT <s>])
#       A GoogleTest executable (linked with gtest_main). Runs natively, or under Wine in the
#       Windows configuration (ctest prepends CMAKE_CROSSCOMPILING_EMULATOR = cmake/wine-run.sh,
#       which uses the default prefix <build>/wine/default).
#
#   vd_add_wine_test(NAME <name> SOURCES <src>... [LIBS <lib>...] [TIMEOUT <s>]
#                    [SCENARIO <scenario>] [HEAP_CHECK]
#                    [FILES <file-or-dir-or-target>...]
#                    [REGISTRY "<key>|<value>|<data>[|<REG_type>]"...]
#                    [REGSVR32 <dll-file-or-target>...])
#       Windows configuration only (a no-op elsewhere). The test runs in the Wine prefix
#       <build>/wine/<scenario> (default: "default"), created on first use. Before each run
#       cmake/wine-scenario.sh empties the run folder <binary dir>/<name>.run, copies the EXE
#       and every FILES entry into it, sets each REGISTRY value with `wine reg add` (an empty
#       <value> sets the key's default value; <REG_type> defaults to REG_SZ; <data> must not
#       contain '|'), registers each REGSVR32 DLL (copied into the run folder first) with
#       `wine regsvr32 /s`, then runs the EXE from the run folder.
#       Relative FILES/REGSVR32 paths are relative to the calling CMakeLists.txt; an entry that
#       names an existing target stands for that target's output file.
#       HEAP_CHECK runs the EXE under Wine's heap checking; a heap error it reports fails the
#       test (cmake/wine-scenario.sh --heap-check). For the scenarios of hostile players.
#
#   vd_add_screen_test(NAME <name> SOURCES <src>... [LIBS <lib>...] [TIMEOUT <s>])
#       Windows configuration only. The test runs on a virtual X server of its own with a
#       compositing manager, under Wine's X11 driver in the prefix <build>/wine/screen-x11
#       (cmake/xvfb-session.sh); it asks for captures of the screen through VD_CAPTURE_DIR.
#       Without Xvfb, xcompmgr or xwd it runs without a screen and VD_SCREEN_MISSING says what
#       is missing (its screen tests skip).
#
#   vd_add_fuzzer(NAME <name> SOURCES <src>... [LIBS <lib>...] CORPUS <dir>)
#       Fuzz configuration (VD_FUZZ=ON, clang): a libFuzzer target, listed in
#       <build>/fuzzers.txt so that `./run fuzz` finds it with its seed corpus. Native test
#       configuration: the test <name>_corpus_tests, the target's sources with
#       fuzz/corpus_replay_test.cpp, running every seed of the corpus through it.
#
# Every test writes GoogleTest's XML report to <build>/test-results/<name>.xml; ./run counts
# test cases from these reports. cmake/test-log.sh keeps each run's output and exit status in
# <build>/test-results/<name>.log, which ./run shows for a test that wrote no report.

set(VD_CMAKE_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(VD_TEST_RESULTS_DIR "${CMAKE_BINARY_DIR}/test-results")
set(VD_DEFAULT_TEST_TIMEOUT 300)

function(vd_find_googletest)
    find_package(GTest CONFIG QUIET)
    if(GTest_FOUND)
        if(NOT TARGET GTest::gmock)
            message(FATAL_ERROR "GoogleTest found in ${GTest_DIR} without GoogleMock: install libgmock-dev")
        endif()
        message(STATUS "GoogleTest: package ${GTest_DIR}")
        return()
    endif()
    set(VD_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
        "GoogleTest sources, built here where no GoogleTest package is found")
    if(NOT EXISTS "${VD_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
        message(FATAL_ERROR "No GoogleTest package and no sources in ${VD_GOOGLETEST_SOURCE_DIR}: "
                            "install googletest (or libgtest-dev and libgmock-dev)")
    endif()
    message(STATUS "GoogleTest: built from ${VD_GOOGLETEST_SOURCE_DIR}")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory("${VD_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
    foreach(t gtest gtest_main gmock gmock_main)
        if(TARGET ${t} AND NOT TARGET GTest::${t})
            add_library(GTest::${t} ALIAS ${t})
        endif()
    endforeach()
endfunction()

# --gtest_output argument for test <name>. Under Wine the Unix path is given on drive Z:.
function(_vd_gtest_output_arg name out_var)
    set(report "${VD_TEST_RESULTS_DIR}/${name}.xml")
    if(CMAKE_SYSTEM_NAME STREQUAL "Windows" AND CMAKE_CROSSCOMPILING)
        set(report "Z:${report}")
    endif()
    set(${out_var} "--gtest_output=xml:${report}" PARENT_SCOPE)
endfunction()

function(_vd_add_test_executable name sources libs)
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${libs} GTest::gtest_main vd_warnings)
endfunction()

# The checks both test helpers make on their parsed T_ arguments; a macro, so the default
# timeout lands in the caller's T_TIMEOUT.
macro(_vd_check_test_args fn)
    if(NOT T_NAME OR NOT T_SOURCES)
        message(FATAL_ERROR "${fn}: NAME and SOURCES are required")
    endif()
    if(T_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${fn}(${T_NAME}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT ${VD_DEFAULT_TEST_TIMEOUT})
    endif()
endmacro()

function(vd_add_test)
    cmake_parse_arguments(PARSE_ARGV 0 T "" "NAME;TIMEOUT" "SOURCES;LIBS")
    _vd_check_test_args(vd_add_test)
    _vd_add_test_executable(${T_NAME} "${T_SOURCES}" "${T_LIBS}")
    _vd_gtest_output_arg(${T_NAME} output_arg)
    # In the Windows configuration the EXE runs through CMAKE_CROSSCOMPILING_EMULATOR
    # (cmake/wine-run.sh).
    set(run "$<TARGET_FILE:${T_NAME}>")
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        set(run bash ${CMAKE_CROSSCOMPILING_EMULATOR} ${run})
    endif()
    add_test(NAME ${T_NAME} COMMAND bash "${VD_CMAKE_DIR}/test-log.sh" "${VD_TEST_RESULTS_DIR}/${T_NAME}.log" --
                                    ${run} ${output_arg})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        set_tests_properties(${T_NAME} PROPERTIES
            ENVIRONMENT "VD_WINE_PREFIX=${CMAKE_BINARY_DIR}/wine/default")
    endif()
endfunction()

# Resolve a FILES/REGSVR32 entry: a target's output file, or a path relative to the caller.
function(_vd_resolve_file entry out_var)
    if(TARGET "${entry}")
        set(${out_var} "$<TARGET_FILE:${entry}>" PARENT_SCOPE)
    elseif(IS_ABSOLUTE "${entry}")
        set(${out_var} "${entry}" PARENT_SCOPE)
    else()
        set(${out_var} "${CMAKE_CURRENT_SOURCE_DIR}/${entry}" PARENT_SCOPE)
    endif()
endfunction()

function(vd_add_wine_test)
    cmake_parse_arguments(PARSE_ARGV 0 T "HEAP_CHECK" "NAME;SCENARIO;TIMEOUT" "SOURCES;LIBS;FILES;REGISTRY;REGSVR32")
    _vd_check_test_args(vd_add_wine_test)
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
        return()
    endif()
    if(NOT T_SCENARIO)
        set(T_SCENARIO default)
    endif()
    if(NOT T_SCENARIO MATCHES "^[A-Za-z0-9_.-]+$")
        message(FATAL_ERROR "vd_add_wine_test(${T_NAME}): bad SCENARIO name '${T_SCENARIO}'")
    endif()

    _vd_add_test_executable(${T_NAME} "${T_SOURCES}" "${T_LIBS}")
    _vd_gtest_output_arg(${T_NAME} output_arg)

    set(args --prefix "${CMAKE_BINARY_DIR}/wine/${T_SCENARIO}"
             --run-dir "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.run")
    if(T_HEAP_CHECK)
        list(APPEND args --heap-check)
    endif()
    foreach(f IN LISTS T_FILES)
        _vd_resolve_file("${f}" path)
        list(APPEND args --file "${path}")
    endforeach()
    foreach(r IN LISTS T_REGISTRY)
        if(NOT r MATCHES "^[^|]+\\|[^|]*\\|[^|]*(\\|REG_[A-Z_]+)?$")
            message(FATAL_ERROR "vd_add_wine_test(${T_NAME}): REGISTRY entry '${r}' is not \"key|value|data[|REG_type]\"")
        endif()
        list(APPEND args --reg "${r}")
    endforeach()
    foreach(d IN LISTS T_REGSVR32)
        _vd_resolve_file("${d}" path)
        list(APPEND args --regsvr32 "${path}")
    endforeach()

    add_test(NAME ${T_NAME}
             COMMAND bash "${VD_CMAKE_DIR}/test-log.sh" "${VD_TEST_RESULTS_DIR}/${T_NAME}.log" --
                     bash "${VD_CMAKE_DIR}/wine-scenario.sh" ${args}
                     -- "$<TARGET_FILE:${T_NAME}>" ${output_arg})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;scenario:${T_SCENARIO}")
endfunction()

function(vd_add_screen_test)
    cmake_parse_arguments(PARSE_ARGV 0 T "" "NAME;TIMEOUT" "SOURCES;LIBS")
    _vd_check_test_args(vd_add_screen_test)
    if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
        return()
    endif()
    _vd_add_test_executable(${T_NAME} "${T_SOURCES}" "${T_LIBS}")
    _vd_gtest_output_arg(${T_NAME} output_arg)
    add_test(NAME ${T_NAME}
             COMMAND bash "${VD_CMAKE_DIR}/test-log.sh" "${VD_TEST_RESULTS_DIR}/${T_NAME}.log" --
                     bash "${VD_CMAKE_DIR}/xvfb-session.sh" --skip-missing
                     --prefix "${CMAKE_BINARY_DIR}/wine/screen-x11"
                     --captures "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.captures"
                     -- "$<TARGET_FILE:${T_NAME}>" ${output_arg})
    # One virtual screen session at a time uses the prefix.
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;screen"
                                              RESOURCE_LOCK screen-x11)
endfunction()

function(vd_add_fuzzer)
    cmake_parse_arguments(PARSE_ARGV 0 F "" "NAME;CORPUS" "SOURCES;LIBS")
    if(NOT F_NAME OR NOT F_SOURCES)
        message(FATAL_ERROR "vd_add_fuzzer: NAME and SOURCES are required")
    endif()
    if(F_CORPUS AND NOT IS_ABSOLUTE "${F_CORPUS}")
        set(F_CORPUS "${CMAKE_CURRENT_SOURCE_DIR}/${F_CORPUS}")
    endif()
    if(NOT VD_FUZZ)
        if(NOT F_CORPUS)
            message(FATAL_ERROR "vd_add_fuzzer: ${F_NAME} has no CORPUS to replay")
        endif()
        vd_add_test(NAME ${F_NAME}_corpus_tests
                    SOURCES ${F_SOURCES} ${VD_CMAKE_DIR}/../fuzz/corpus_replay_test.cpp
                    LIBS ${F_LIBS})
        target_compile_definitions(${F_NAME}_corpus_tests PRIVATE VD_FUZZ_CORPUS="${F_CORPUS}")
        return()
    endif()
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} vd_warnings)
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzzers")
    set_property(GLOBAL APPEND PROPERTY VD_FUZZERS
                 "${F_NAME}|${CMAKE_BINARY_DIR}/fuzzers/${F_NAME}|${F_CORPUS}")
endfunction()

# Writes <build>/fuzzers.txt: one "name|executable|seed corpus dir" a line, read by ./run fuzz.
function(vd_write_fuzzer_manifest)
    get_property(fuzzers GLOBAL PROPERTY VD_FUZZERS)
    set(text "")
    foreach(f IN LISTS fuzzers)
        string(APPEND text "${f}\n")
    endforeach()
    file(WRITE "${CMAKE_BINARY_DIR}/fuzzers.txt" "${text}")
endfunction()
