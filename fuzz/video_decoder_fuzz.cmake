if(TARGET tavrel_decode)
  tavrel_add_fuzzer(NAME video_decoder_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_decoder_fuzz.cpp LIBS tavrel_decode)
endif()
