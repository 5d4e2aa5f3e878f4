# The modem transport: reply parser throughput, command round trip, idle wake-ups.
add_executable(bench_transport ${CMAKE_CURRENT_SOURCE_DIR}/bench_transport.cpp)
target_link_libraries(bench_transport PRIVATE parlane_transport parlane_testsupport
  benchmark::benchmark)
