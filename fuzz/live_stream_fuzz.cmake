tavrel_add_fuzzer(NAME live_stream_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/live_stream_fuzz.cpp LIBS tavrel_streaming)
