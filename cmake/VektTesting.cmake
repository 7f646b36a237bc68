# Test helpers. Every test carries one label: host, wine, pe or fuzz; Wine tests
# also carry wine64 (PE32+ build) or wine32 (the shipped PE32 build).
#   vekt_host_test(name SOURCES ... [LIBS ...])       GoogleTest program on the Linux host
#   vekt_wine_test(NAME n TARGET exe [ARGS ...] [SERIAL] [TIMEOUT s] [EMULATED_SKIP reason]
#                  [SMALL_DISK kib])
#                                                     a Windows program run under Wine in
#                                                     Xvfb, in both Windows builds; exit code 0
#                                                     means pass. EMULATED_SKIP names a fault
#                                                     of the emulated 32-bit road (see
#                                                     tools/wine-env.sh): there, and only there,
#                                                     the test reports itself skipped with that
#                                                     reason, also listed in wine32-skipped.txt.
#                                                     SMALL_DISK runs it with a tmpfs of kib KiB
#                                                     mounted for it ("@DISK@" in ARGS), skipped
#                                                     where mounting is not allowed
#   vekt_test_program(name SOURCES ... [LIBS ...] [INCLUDES ...] [DEPENDS ...] [WMAIN] [GUI])
#                                                     a test host, stand-in or demo program:
#                                                     warnings on, the shared test helpers
#                                                     (tests/wine, tests/support) on its include
#                                                     path; WMAIN for wmain (-municode), GUI for
#                                                     a Windows GUI program
#   vekt_fuzz_target(name SOURCES ... [LIBS ...])     libFuzzer target (VEKT_FUZZ) or,
#                                                     in the plain host build, a replay of
#                                                     its seed corpus tests/fuzz/corpus/<name>
if(NOT WIN32)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

set(VEKT_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run.sh)
set(VEKT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix used by the wine tests")
set(VEKT_WINE32_SKIPPED ${CMAKE_BINARY_DIR}/wine32-skipped.txt)
# What tools/wine-run.sh exits with for a test that the road it runs on skips.
set(VEKT_WINE_SKIP_CODE 77)
if(VEKT_WINE_ARCH STREQUAL "win32")
  file(WRITE ${VEKT_WINE32_SKIPPED} "")
endif()

function(vekt_host_test name)
  if(WIN32 OR VEKT_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vekt_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name}
    PROPERTIES LABELS host TIMEOUT 300
    DISCOVERY_TIMEOUT 60)
endfunction()

function(vekt_test_program name)
  cmake_parse_arguments(P "WMAIN;GUI" "" "SOURCES;LIBS;INCLUDES;DEPENDS" ${ARGN})
  if(P_GUI)
    add_executable(${name} WIN32 ${P_SOURCES})
  else()
    add_executable(${name} ${P_SOURCES})
  endif()
  vekt_warnings(${name})
  target_include_directories(${name} PRIVATE
    ${PROJECT_SOURCE_DIR}/tests/wine ${PROJECT_SOURCE_DIR}/tests/support ${P_INCLUDES})
  if(P_LIBS)
    target_link_libraries(${name} PRIVATE ${P_LIBS})
  endif()
  if(P_WMAIN)
    target_link_options(${name} PRIVATE -municode)
  endif()
  if(P_DEPENDS)
    add_dependencies(${name} ${P_DEPENDS})
  endif()
endfunction()

function(vekt_wine_test)
  if(NOT VEKT_WINE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "SERIAL" "NAME;TARGET;TIMEOUT;EMULATED_SKIP;SMALL_DISK" "ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  set(launcher)
  if(T_SMALL_DISK)
    set(launcher ${PROJECT_SOURCE_DIR}/tests/support/small-disk.sh ${T_SMALL_DISK})
  endif()
  add_test(NAME ${T_NAME}
    COMMAND ${launcher} ${VEKT_WINE_RUN} $<TARGET_FILE:${T_TARGET}> ${T_ARGS})
  set(environment "WINEPREFIX=${VEKT_WINEPREFIX}" "VEKT_WINE_ARCH=${VEKT_WINE_ARCH}")
  if(VEKT_WINE_ARCH STREQUAL "win32")
    # Emulation makes a 32-bit run several times slower than the PE32+ one.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
    if(T_EMULATED_SKIP)
      file(APPEND ${VEKT_WINE32_SKIPPED} "${T_NAME}: ${T_EMULATED_SKIP}\n")
      string(REPLACE ";" "," reason "${T_EMULATED_SKIP}")
      list(APPEND environment "VEKT_EMULATED_SKIP=${reason}")
    endif()
  endif()
  string(REPLACE "win" "wine" arch_label ${VEKT_WINE_ARCH})
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "wine;${arch_label}" TIMEOUT ${T_TIMEOUT}
    SKIP_RETURN_CODE ${VEKT_WINE_SKIP_CODE}
    ENVIRONMENT "${environment}")
  if(T_SERIAL)
    # Single-instance mutexes, window titles and the foreground window are per
    # Wine session: keep the tests that show windows apart.
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK wine_session)
  endif()
endfunction()

function(vekt_fuzz_target name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(VEKT_FUZZ)
    add_executable(${name} ${T_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${T_LIBS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${work})
    add_test(NAME fuzz_${name}
      COMMAND ${name} -max_total_time=${VEKT_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10
              ${work} ${corpus})
    set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  else()
    add_executable(${name}_replay ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    vekt_warnings(${name}_replay)
    target_link_libraries(${name}_replay PRIVATE ${T_LIBS})
    add_test(NAME replay_${name} COMMAND ${name}_replay ${corpus})
    set_tests_properties(replay_${name} PROPERTIES LABELS host TIMEOUT 300)
  endif()
endfunction()
