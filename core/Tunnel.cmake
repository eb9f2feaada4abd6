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
)

corvisk_add_test(NAME core_tunnel_frame_test SOURCES tests/TunnelFrame_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_tunnel_text_test SOURCES tests/TunnelText_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_control_packet_test SOURCES tests/ControlPacket_test.cpp LIBS corvisk_core_neutral)
corvisk_add_test(NAME core_meeting_requests_test SOURCES tests/MeetingRequests_test.cpp LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_frame_reassembler_fuzz SOURCES tests/FrameReassembler_fuzz.cpp LIBS corvisk_core_neutral)
corvisk_add_fuzzer(NAME core_control_packet_reader_fuzz SOURCES tests/ControlPacketReader_fuzz.cpp LIBS corvisk_core_neutral)
