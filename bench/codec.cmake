# The GSM codec: encoding outgoing units and decoding received PDUs.
add_executable(bench_codec ${CMAKE_CURRENT_SOURCE_DIR}/bench_codec.cpp)
target_link_libraries(bench_codec PRIVATE parlane_gsm benchmark::benchmark)
