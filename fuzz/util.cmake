parlane_add_fuzzer(fuzz_utf8 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_utf8.cpp parlane_util)
parlane_add_fuzzer(fuzz_schedule_time ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_schedule_time.cpp parlane_util)
