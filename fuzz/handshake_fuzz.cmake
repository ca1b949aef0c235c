tavrel_add_fuzzer(NAME handshake_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/handshake_fuzz.cpp LIBS tavrel_protocol)
