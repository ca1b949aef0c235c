tavrel_add_fuzzer(NAME dvrsim_request_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dvrsim_request_fuzz.cpp LIBS tavrel_dvrsim_lib)
