tavrel_add_fuzzer(NAME event_log_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/event_log_fuzz.cpp LIBS tavrel_events)
