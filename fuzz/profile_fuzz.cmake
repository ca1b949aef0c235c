tavrel_add_fuzzer(NAME profile_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/profile_fuzz.cpp LIBS tavrel_platform)
