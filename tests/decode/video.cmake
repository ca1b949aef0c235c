tavrel_add_test(NAME decode_video_tests LABEL decode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_decoder_test.cpp
  LIBS tavrel_decode tavrel_mediagen)
