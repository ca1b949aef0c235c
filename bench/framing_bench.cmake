add_executable(framing_bench ${CMAKE_CURRENT_SOURCE_DIR}/framing_bench.cpp)
target_link_libraries(framing_bench PRIVATE tavrel_protocol benchmark::benchmark)
