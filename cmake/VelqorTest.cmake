# velqor_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...])
# Natively every GoogleTest case becomes a ctest test; a Windows test program runs
# whole under Wine (through CMAKE_CROSSCOMPILING_EMULATOR, see cmake/wine-run.sh).
include(GoogleTest)
function(velqor_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main velqor_warnings)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    # Each build tree has its own Wine prefix, created once and shared by its tests.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
      ENVIRONMENT "VELQOR_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  endif()
endfunction()
