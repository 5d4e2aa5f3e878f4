# Arbitrary bytes read as names in the pool folder several instances share.
parlane_add_fuzzer(fuzz_pool_names ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_pool_names.cpp parlane_service)
