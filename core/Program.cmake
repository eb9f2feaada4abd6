# Start-up, launch parameters, the application manager, its dispatcher and the
# tray, and the program Corvisk.exe itself. Included from core/CMakeLists.txt.

target_sources(corvisk_core_neutral PRIVATE
  LaunchParameters.cpp
  OsVersionClass.cpp
  MediaFileName.cpp
  WorkAreaPlacement.cpp
  ServerAddress.cpp
)
corvisk_add_test(NAME core_launch_parameters_test SOURCES tests/LaunchParameters_test.cpp
  LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_launch_parameters_fuzz SOURCES tests/fuzz_launch_parameters.cpp
  LIBS corvisk_core_neutral CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/corpus/launch_parameters)
corvisk_add_test(NAME core_startup_neutral_test
  SOURCES tests/OsVersionClass_test.cpp tests/MediaFileName_test.cpp tests/WorkAreaPlacement_test.cpp
          tests/ServerAddress_test.cpp
  LIBS corvisk_core_neutral)

# System utilities: hex text, upper case, the captcha address, the session
# shell's choice and the control-state bits.
target_sources(corvisk_core_neutral PRIVATE
  HexEncodeMem.cpp
  ToUpperString.cpp
  CaptchaPage.cpp
  SessionUserName.cpp
  ControlStateBits.cpp
)
corvisk_add_test(NAME core_system_util_test
  SOURCES tests/HexEncodeMem_test.cpp tests/ToUpperString_test.cpp tests/CaptchaPage_test.cpp
          tests/SessionUserName_test.cpp tests/ControlStateBits_test.cpp
  LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_captcha_address_fuzz SOURCES tests/fuzz_captcha_address.cpp
  LIBS corvisk_core_neutral CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/corpus/captcha_address)

if(CORVISK_WINDOWS)
  # The Win32 system utilities: session user, input desktop, captcha page,
  # numeric socket addresses.
  target_sources(corvisk_core_win PRIVATE
    SessionUserName_win.cpp
    InputDesktop_win.cpp
    CaptchaPage_win.cpp
    NumericAddress_win.cpp
  )
  target_link_libraries(corvisk_core_win PUBLIC ws2_32)
  corvisk_add_test(NAME core_system_util_wine_test WINDOWS_ONLY LABELS display
    SOURCES tests/SessionUserName_wine_test.cpp tests/InputDesktop_wine_test.cpp
            tests/NumericAddress_wine_test.cpp tests/CaptchaPage_wine_test.cpp
    LIBS corvisk_core_win)

  # The start-up pieces and system utilities (no manager).
  add_library(corvisk_startup_win STATIC
    AppWindows.cpp
    Startup_win.cpp
    VisualEffects_win.cpp
    CrashDump_win.cpp
    SingleInstance_win.cpp
    UriScheme_win.cpp
    UpdateMessages_win.cpp
    WindowUtil_win.cpp
    MenuSubclass_win.cpp
  )
  target_include_directories(corvisk_startup_win PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(corvisk_startup_win PUBLIC corvisk_core_win corvisk_Customer_win
    dbghelp shell32 ole32 uuid)

  # The manager with its dispatcher, the tray and the launch parameters.
  add_library(corvisk_manager_win STATIC
    Manager.cpp
    ManagerRun.cpp
    ManagerDispatch.cpp
    ManagerSharing.cpp
    ManagerChatPane.cpp
    ManagerTeardown.cpp
    ManagerRequests.cpp
    MeetingHandlers_win.cpp
    AboutDialog_win.cpp
    Tray_win.cpp
    LaunchParams_win.cpp
    VisibleWindows_win.cpp
  )
  target_include_directories(corvisk_manager_win PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(corvisk_manager_win PUBLIC corvisk_startup_win corvisk_tunnel_win corvisk_meeting_win
    corvisk_extras_win corvisk_Technician_win corvisk_Customer_win corvisk_core_win
    gdiplus comctl32 shell32 ws2_32)

  # The manager against test doubles of its services; the program's own
  # resources are linked in for the texts, the menu and the About box.
  corvisk_add_test(NAME core_manager_dispatch_test WINDOWS_ONLY LABELS display
    SOURCES tests/ManagerDispatch_test.cpp res/Corvisk.rc LIBS corvisk_manager_win)
  corvisk_add_test(NAME core_tray_test WINDOWS_ONLY LABELS display
    SOURCES tests/Tray_test.cpp res/Corvisk.rc LIBS corvisk_manager_win)
  corvisk_add_test(NAME core_visible_windows_test WINDOWS_ONLY LABELS display
    SOURCES tests/VisibleWindows_wine_test.cpp LIBS corvisk_manager_win)
  # Start-up against the real program, and a crashing program with its filter.
  add_executable(core_test_crash_child tests/CrashChild.cpp)
  target_link_libraries(core_test_crash_child PRIVATE corvisk_startup_win)
  corvisk_add_test(NAME core_startup_test WINDOWS_ONLY LABELS display
    SOURCES tests/Startup_test.cpp LIBS corvisk_startup_win)
  add_dependencies(core_startup_test Corvisk core_test_crash_child)
  # The tray window and the "vnc server is created" event are seen by the
  # whole Wine session: tests that make them, or start Corvisk.exe, take turns.
  set_tests_properties(core_startup_test core_tray_test core_manager_dispatch_test
                       PROPERTIES RESOURCE_LOCK corvisk_session_objects)

  # The manager's services in the program: the meeting transport over the
  # tunnels and the appliance requests.
  add_library(corvisk_program_win STATIC
    LinkTransport_win.cpp
    ProgramAppliance_win.cpp
    ProgramServices_win.cpp
  )
  target_include_directories(corvisk_program_win PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(corvisk_program_win PUBLIC corvisk_manager_win corvisk_tunnel_win corvisk_appliance_win)

  corvisk_add_test(NAME core_link_transport_test WINDOWS_ONLY
    SOURCES tests/LinkTransport_wine_test.cpp LIBS corvisk_program_win)

  # Two managers with these services against the local appliance (started
  # by the fixture script on the build host).
  add_executable(core_meeting_glue_wine_test tests/MeetingGlue_wine_test.cpp res/Corvisk.rc)
  target_link_libraries(core_meeting_glue_wine_test PRIVATE corvisk_program_win corvisk_trust_root gmock gtest_main)
  add_test(NAME core_meeting_glue_wine_test
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/tunnel_fixture.sh
                   $<TARGET_FILE:core_meeting_glue_wine_test>)
  set_tests_properties(core_meeting_glue_wine_test PROPERTIES TIMEOUT 300 LABELS appliance
    ENVIRONMENT "CORVISK_FIXTURE_SCENARIO=${CMAKE_CURRENT_SOURCE_DIR}/tests/meeting_glue_scenario.json")

  add_executable(Corvisk WIN32 WinMain.cpp res/Corvisk.rc)
  target_link_options(Corvisk PRIVATE -municode)
  target_link_libraries(Corvisk PRIVATE corvisk_program_win)
  set_source_files_properties(res/Corvisk.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/res/Corvisk.manifest;${CMAKE_CURRENT_SOURCE_DIR}/res/Corvisk.ico")
endif()
