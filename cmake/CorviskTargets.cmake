# Helpers that register tests, fuzz targets and benchmarks the same way in both trees.
#
# corvisk_add_test(NAME <name> SOURCES <files...> [LIBS <libs...>]
#                  [WINDOWS_ONLY] [NATIVE_ONLY] [LABELS <labels...>] [TIMEOUT <s>])
#   A GoogleTest program, run by CTest (under Wine in the win64 tree through the
#   cross-compiling emulator). WINDOWS_ONLY tests need Win32; they are skipped in
#   the native tree. Label "display" marks tests that open windows.
function(corvisk_add_test)
  cmake_parse_arguments(T "WINDOWS_ONLY;NATIVE_ONLY" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT CORVISK_WINDOWS)
    return()
  endif()
  if(T_NATIVE_ONLY AND CORVISK_WINDOWS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gmock gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       LABELS "${T_LABELS}"
                       ENVIRONMENT "CORVISK_SOURCE_DIR=${CMAKE_SOURCE_DIR};CORVISK_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# corvisk_add_fuzzer(NAME <name> SOURCES <files...> [LIBS <libs...>] [CORPUS <dir>])
#   A fuzz target defining LLVMFuzzerTestOneInput. With CORVISK_FUZZ (clang) it is
#   a libFuzzer program; otherwise it is linked with a replay driver that runs the
#   seed corpus and a fixed number of random and mutated inputs, and CTest runs it
#   (under the sanitizers in the native tree).
function(corvisk_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  if(CORVISK_FUZZ)
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  else()
    target_link_libraries(${F_NAME} PRIVATE corvisk_fuzz_replay)
    set(corpus "")
    if(F_CORPUS)
      set(corpus ${F_CORPUS})
    endif()
    add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${corpus})
    set_tests_properties(${F_NAME} PROPERTIES TIMEOUT 300 LABELS fuzz)
  endif()
endfunction()

# corvisk_add_benchmark(NAME <name> SOURCES <files...> [LIBS <libs...>])
#   A Google Benchmark program (native tree only). Benchmarks are never tests:
#   scripts/bench runs them and reports.
function(corvisk_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(CORVISK_WINDOWS OR NOT CORVISK_BENCHMARKS)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
