# Helpers that register tests, fuzz targets and benchmarks the same way in both trees.
#
# Beside them, two lists in the build folder tell scripts what was registered,
# written when configuring ends:
#   benchmarks.txt    one benchmark program a line (scripts/bench runs them);
#   fuzz-targets.txt  one fuzz target a line: its program, a tab, its seed
#                     corpus folder (empty when it has none) (scripts/fuzz).
# The targets corvisk_benchmarks and corvisk_fuzzers build every benchmark and
# every fuzz target.
add_custom_target(corvisk_benchmarks)
add_custom_target(corvisk_fuzzers)

function(corvisk_write_manifests)
  foreach(manifest benchmarks fuzz-targets)
    get_property(lines GLOBAL PROPERTY CORVISK_MANIFEST_${manifest})
    set(content "")
    foreach(line IN LISTS lines)
      string(APPEND content "${line}\n")
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/${manifest}.txt CONTENT "${content}")
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL corvisk_write_manifests)

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
  # Tests that open windows share one X display: one at a time, so no window
  # covers what another test reads back from the screen.
  if("display" IN_LIST T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK xdisplay)
  endif()
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
  add_dependencies(corvisk_fuzzers ${F_NAME})
  if(CORVISK_FUZZ)
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set(corpus "")
    if(F_CORPUS)
      get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    set_property(GLOBAL APPEND PROPERTY CORVISK_MANIFEST_fuzz-targets "$<TARGET_FILE:${F_NAME}>\t${corpus}")
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
  add_dependencies(corvisk_benchmarks ${B_NAME})
  set_property(GLOBAL APPEND PROPERTY CORVISK_MANIFEST_benchmarks "$<TARGET_FILE:${B_NAME}>")
endfunction()
