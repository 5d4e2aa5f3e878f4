# The whole program against a pseudo-terminal modem: idle cost, throughput, rate on a slow modem.
if(TARGET parlane)
  add_executable(bench_gateway ${CMAKE_CURRENT_SOURCE_DIR}/bench_gateway.cpp)
  target_link_libraries(bench_gateway PRIVATE parlane_storage parlane_message parlane_settings
    parlane_util parlane_benchsupport)
  target_compile_definitions(bench_gateway PRIVATE PARLANE_EXECUTABLE="$<TARGET_FILE:parlane>")
  add_dependencies(bench_gateway parlane)
endif()
