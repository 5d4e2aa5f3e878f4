# parlane-send: queues a message through the gateway's spool folder.
add_executable(parlane-send
  ${CMAKE_CURRENT_LIST_DIR}/parlane-send/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-send/SendOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-send/SpoolDrop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parlane-send/DeliveryWait.cpp)
target_include_directories(parlane-send PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(parlane-send PRIVATE parlane_service)
target_compile_definitions(parlane-send PRIVATE PARLANE_DATA_DIR="${PARLANE_DATA_DIR}")
set_target_properties(parlane-send PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
install(TARGETS parlane-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
