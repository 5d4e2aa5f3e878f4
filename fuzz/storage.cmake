# Arbitrary bytes loaded as a folder file, written back and loaded again.
parlane_add_fuzzer(fuzz_folder_load ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_folder_load.cpp
                   parlane_storage)
