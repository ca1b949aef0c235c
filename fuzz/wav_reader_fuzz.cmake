tavrel_add_fuzzer(NAME wav_reader_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/wav_reader_fuzz.cpp LIBS tavrel_audio)
