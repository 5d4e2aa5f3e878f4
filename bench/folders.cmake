# Folders that scale: one change in a small and a huge folder, receiving into a full inbox, loading.
add_executable(bench_folders ${CMAKE_CURRENT_SOURCE_DIR}/bench_folders.cpp)
target_link_libraries(bench_folders PRIVATE parlane_service)
