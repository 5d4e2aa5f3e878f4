# The file database behind the message folders: load, append, rewrite and scan of large folders.
add_executable(bench_storage ${CMAKE_CURRENT_SOURCE_DIR}/bench_storage.cpp)
target_link_libraries(bench_storage PRIVATE parlane_storage parlane_testsupport benchmark::benchmark)
