# Start-up, launch parameters, the application manager, its dispatcher and the
# tray, and the program Corvisk.exe itself. Included from core/CMakeLists.txt.

target_sources(corvisk_core_neutral PRIVATE LaunchParameters.cpp)
corvisk_add_test(NAME core_launch_parameters_test SOURCES tests/LaunchParameters_test.cpp
  LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_launch_parameters_fuzz SOURCES tests/fuzz_launch_parameters.cpp
  LIBS corvisk_core_neutral CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/corpus/launch_parameters)

if(CORVISK_WINDOWS)
  add_executable(Corvisk WIN32 WinMain.cpp res/Corvisk.rc)
  target_link_options(Corvisk PRIVATE -municode)
  target_link_libraries(Corvisk PRIVATE corvisk_core_win)
  set_source_files_properties(res/Corvisk.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/res/Corvisk.manifest;${CMAKE_CURRENT_SOURCE_DIR}/res/Corvisk.ico")
endif()
