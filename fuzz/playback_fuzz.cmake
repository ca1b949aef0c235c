tavrel_add_fuzzer(NAME playback_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/playback_fuzz.cpp LIBS tavrel_playback)
