tavrel_add_test(NAME decode_comb_tests LABEL decode
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/comb_filter_test.cpp
  LIBS tavrel_decode)
