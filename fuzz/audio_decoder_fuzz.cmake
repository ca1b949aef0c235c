tavrel_add_fuzzer(NAME audio_decoder_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/audio_decoder_fuzz.cpp LIBS tavrel_decode)
