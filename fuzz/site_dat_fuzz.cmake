tavrel_add_fuzzer(NAME site_dat_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/site_dat_fuzz.cpp LIBS tavrel_sites)
