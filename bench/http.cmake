# The HTTP door: sendsms requests per second and their latency on loopback, idle wake-ups.
add_executable(bench_http ${CMAKE_CURRENT_SOURCE_DIR}/bench_http.cpp)
target_link_libraries(bench_http PRIVATE parlane_service parlane_benchservice)
