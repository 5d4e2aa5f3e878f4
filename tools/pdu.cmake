# parlane-pdu: the codec on the command line.
add_executable(parlane-pdu
  ${CMAKE_CURRENT_LIST_DIR}/parlane-pdu/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-pdu/CodecSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-pdu/DecodeCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-pdu/EncodeCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-pdu/JsonText.cpp)
target_link_libraries(parlane-pdu PRIVATE parlane_gsm)
set_target_properties(parlane-pdu PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
install(TARGETS parlane-pdu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
