tavrel_add_fuzzer(NAME frame_header_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/frame_header_fuzz.cpp LIBS tavrel_frame)
