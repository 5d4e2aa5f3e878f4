# Arbitrary bytes read as a spool file; whatever reads must be written back and read again equal.
parlane_add_fuzzer(fuzz_spool_file ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_spool_file.cpp
                   parlane_service)
