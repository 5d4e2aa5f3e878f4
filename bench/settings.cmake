# The settings store: saving and loading very large configurations through the registry key file.
add_executable(bench_settings ${CMAKE_CURRENT_SOURCE_DIR}/bench_settings.cpp)
target_link_libraries(bench_settings PRIVATE parlane_settings parlane_testsupport benchmark::benchmark)
