tavrel_add_fuzzer(NAME codepage_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_fuzz.cpp LIBS tavrel_platform)
