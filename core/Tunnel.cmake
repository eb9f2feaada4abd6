# The meeting tunnel, the loopback relay and the meeting control channel.
# Included from core/CMakeLists.txt.
target_sources(corvisk_core_neutral PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/TunnelFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameReassembler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TunnelHello.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceRequest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ControlPacket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ControlPacketReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ControlPacketDispatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MeetingRequests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostHandover.cpp
)

corvisk_add_test(NAME core_tunnel_frame_test SOURCES tests/TunnelFrame_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_tunnel_text_test SOURCES tests/TunnelText_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_control_packet_test SOURCES tests/ControlPacket_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_meeting_requests_test SOURCES tests/MeetingRequests_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_host_handover_test SOURCES tests/HostHandover_test.cpp LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_frame_reassembler_fuzz SOURCES tests/FrameReassembler_fuzz.cpp LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_control_packet_reader_fuzz SOURCES tests/ControlPacketReader_fuzz.cpp LIBS corvisk_core_neutral)

if(CORVISK_WINDOWS)
  add_library(corvisk_tunnel_win STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SocketHandle_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SchannelSession_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProxyConnect_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ApplianceTunnel_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LocalChannels_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TunnelRelay_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PacketReceiveThread_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ControlSender_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MeetingLink_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RequestWorkers_win.cpp
  )
  target_include_directories(corvisk_tunnel_win PUBLIC ${CMAKE_SOURCE_DIR})
  # secur32 is loaded at run time; crypt32 checks the server certificate.
  target_link_libraries(corvisk_tunnel_win PUBLIC corvisk_core_neutral ws2_32 crypt32 user32)
  corvisk_add_test(NAME core_request_workers_test WINDOWS_ONLY SOURCES tests/RequestWorkers_wine_test.cpp
    LIBS corvisk_tunnel_win LABELS display)
  corvisk_add_test(NAME core_local_channels_test WINDOWS_ONLY SOURCES tests/LocalChannels_wine_test.cpp
    LIBS corvisk_tunnel_win)
endif()

if(CORVISK_WINDOWS)
  # Two meeting cores against the local appliance (started by the fixture
  # script on the build host; Wine cannot start Python).
  add_executable(core_meeting_link_wine_test tests/MeetingLink_wine_test.cpp)
  target_link_libraries(core_meeting_link_wine_test PRIVATE corvisk_tunnel_win corvisk_trust_root gmock gtest_main)
  add_test(NAME core_meeting_link_wine_test
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tests/tunnel_fixture.sh
                   $<TARGET_FILE:core_meeting_link_wine_test>)
  set_tests_properties(core_meeting_link_wine_test PROPERTIES TIMEOUT 300 LABELS appliance)
endif()

if(CORVISK_WINDOWS)
  # Not a test: scripts/bench-tunnel runs it and reports the ratios.
  add_executable(core_tunnel_throughput_bench tests/TunnelThroughput_bench.cpp)
  target_link_libraries(core_tunnel_throughput_bench PRIVATE corvisk_tunnel_win corvisk_trust_root)
endif()
