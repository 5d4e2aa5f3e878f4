parlane_add_fuzzer(fuzz_utf8 ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_utf8.cpp parlane_util)
