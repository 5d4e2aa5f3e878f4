# PDU and text decoders of the GSM codec.
parlane_add_fuzzer(fuzz_deliver_pdu ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_deliver_pdu.cpp parlane_gsm)
parlane_add_fuzzer(fuzz_status_report_pdu ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_status_report_pdu.cpp
  parlane_gsm)
parlane_add_fuzzer(fuzz_hex_pdu ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_hex_pdu.cpp parlane_gsm)
parlane_add_fuzzer(fuzz_text_timestamp ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_text_timestamp.cpp
  parlane_gsm)
parlane_add_fuzzer(fuzz_ussd_text ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ussd_text.cpp parlane_gsm)
parlane_add_fuzzer(fuzz_national_text ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_national_text.cpp
  parlane_gsm)
parlane_add_fuzzer(fuzz_number_patterns ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_number_patterns.cpp
  parlane_gsm)
