tavrel_add_fuzzer(NAME search_answer_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_answer_fuzz.cpp LIBS tavrel_protocol)
