# A pool of modems: one instance on one modem against two instances on two, sharing the pool.
if(TARGET parlane)
  add_executable(bench_pool ${CMAKE_CURRENT_SOURCE_DIR}/bench_pool.cpp)
  target_link_libraries(bench_pool PRIVATE parlane_util parlane_benchsupport)
  target_compile_definitions(bench_pool PRIVATE PARLANE_EXECUTABLE="$<TARGET_FILE:parlane>")
  add_dependencies(bench_pool parlane)
endif()
