# CDvrView::ShowPicture against libswscale alone doing the same scale and conversion.
pkg_check_modules(VIEW_BENCH_SWS IMPORTED_TARGET libswscale libavutil)
if(VIEW_BENCH_SWS_FOUND AND TARGET tavrel_view)
  add_executable(view_bench ${CMAKE_CURRENT_SOURCE_DIR}/view_bench.cpp)
  target_link_libraries(view_bench PRIVATE tavrel_view PkgConfig::VIEW_BENCH_SWS benchmark::benchmark)
endif()
