# GoogleTest: Debian's package on Linux, built from its sources for the MinGW builds.
enable_testing()
if(VANTOR_WINDOWS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(VANTOR_GTEST GTest::gtest GTest::gmock)
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
  set(VANTOR_GTEST GTest::gtest GTest::gmock)
  include(GoogleTest)
endif()

if(VANTOR_WINDOWS AND VANTOR_RUN_UNDER_WINE)
  # Boot the throwaway prefix once per test run; every Windows test needs it.
  add_test(NAME wine_prefix_boot COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-boot.sh)
  set(VANTOR_WINE_ENV WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix)
  set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine_prefix
    ENVIRONMENT "${VANTOR_WINE_ENV}" TIMEOUT 300)
endif()

# vantor_add_test(NAME SOURCES ... LIBS ... [TIMEOUT seconds]): one GoogleTest program, registered
# with ctest. A hang must fail in seconds, not minutes: on Linux each test case is a ctest test and
# takes well under a second (60 s allowed); under Wine the whole program is one test and finishes
# in seconds (90 s allowed: the first programs to start wait for the prefix's services). Longer
# programs give their own.
function(vantor_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT AND VANTOR_WINDOWS)
    set(T_TIMEOUT 90)
  elseif(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  if(VANTOR_WINDOWS)
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${VANTOR_GTEST} GTest::gtest_main)
  else()
    # main() also checks that no test leaves winsim handles open.
    target_link_libraries(${name} PRIVATE ${T_LIBS} vantor_test_main)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  if(NOT VANTOR_WINDOWS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
  elseif(VANTOR_RUN_UNDER_WINE)
    add_test(NAME ${name} COMMAND ${name})
    # A program that crashes under Wine can still exit with 0 (its debugger ends it, or Wine ends
    # it silently): it passes only when GoogleTest's summary says so, and the crash report's first
    # line or a failure fails it whatever the exit code.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "${VANTOR_WINE_ENV}" PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
      FAIL_REGULAR_EXPRESSION "wine: Unhandled;\\[  FAILED  \\]")
  endif()
endfunction()
