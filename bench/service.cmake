# The service layer: outbox to "sent" throughput, idle wake-ups, a slow modem's rate kept.
add_executable(bench_service ${CMAKE_CURRENT_SOURCE_DIR}/bench_service.cpp)
target_link_libraries(bench_service PRIVATE parlane_service parlane_benchservice)
