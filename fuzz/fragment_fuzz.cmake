tavrel_add_fuzzer(NAME fragment_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/fragment_fuzz.cpp LIBS tavrel_streaming)
