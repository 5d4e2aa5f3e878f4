# Arbitrary bytes as the query string of a sendsms request: messages or a refusal.
parlane_add_fuzzer(fuzz_sendsms_request ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sendsms_request.cpp
                   parlane_service)
# Arbitrary callback URL patterns and message fields: escapes replaced, values URL-encoded.
parlane_add_fuzzer(fuzz_url_escapes ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_url_escapes.cpp
                   parlane_service)
# Arbitrary bytes as the file of waiting callbacks or report URLs: entries that write back alike.
parlane_add_fuzzer(fuzz_keyed_journal ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_keyed_journal.cpp
                   parlane_service)
# Arbitrary bytes as a USSD request's body and an inbox page's query: taken within bounds or refused.
parlane_add_fuzzer(fuzz_api_request ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_api_request.cpp
                   parlane_service)
# Arbitrary bytes as the file of message outcomes: what loads is readable, and a new one survives.
parlane_add_fuzzer(fuzz_message_outcomes ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_message_outcomes.cpp
                   parlane_service)
