# libchromix conversions against libswscale doing the same conversions.
pkg_check_modules(CHROMIX_BENCH_SWS IMPORTED_TARGET libswscale libavutil)
if(CHROMIX_BENCH_SWS_FOUND AND TARGET chromix)
  add_executable(chromix_bench ${CMAKE_CURRENT_SOURCE_DIR}/chromix_bench.cpp)
  target_link_libraries(chromix_bench PRIVATE chromix chromix_core PkgConfig::CHROMIX_BENCH_SWS benchmark::benchmark)
endif()
