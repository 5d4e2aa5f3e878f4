# The engine: messages per second the sender completes against a pseudo-terminal modem.
add_executable(bench_engine ${CMAKE_CURRENT_SOURCE_DIR}/bench_engine.cpp)
target_link_libraries(bench_engine PRIVATE parlane_engine parlane_testsupport)
