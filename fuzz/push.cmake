# WAP Push: decoding of incoming SI/SL bodies, checked against the encoder.
parlane_add_fuzzer(fuzz_decode_push ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_decode_push.cpp parlane_gsm)
