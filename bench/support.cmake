# What several benches share. Plain: the real program in a throwaway profile, a modem that counts
# what it accepts, the threads' wake-ups and CPU time.
add_library(parlane_benchsupport STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/ProcessTimes.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/ProgramRun.cpp)
target_include_directories(parlane_benchsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(parlane_benchsupport PUBLIC parlane_testsupport)
# The gateway's service layer on a scripted modem's port.
add_library(parlane_benchservice STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/ServiceOnPort.cpp)
target_link_libraries(parlane_benchservice PUBLIC parlane_benchsupport parlane_service)
