# Video decoders against bare libavcodec and bare XviD on a generated D1 stream.
if(TARGET tavrel_decode AND TARGET tavrel_mediagen)
  add_executable(decoder_bench ${CMAKE_CURRENT_LIST_DIR}/decoder_bench.cpp)
  target_link_libraries(decoder_bench PRIVATE tavrel_decode tavrel_mediagen benchmark::benchmark)
endif()
