tavrel_add_fuzzer(NAME live_consumer_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/live_consumer_fuzz.cpp LIBS tavrel_sites)
