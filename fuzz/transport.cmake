# The modem reply parser: framing, classification and the derived reply events.
parlane_add_fuzzer(fuzz_reply_parser ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_reply_parser.cpp
  parlane_transport)
