tavrel_add_fuzzer(NAME control_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/control_fuzz.cpp LIBS tavrel_protocol)
