# Bare libavcodec decoding of the simulator's live loops: the reference of the
# end-to-end live measurement in scripts/bench.
if(TARGET tavrel_dvrsim_lib)
  pkg_check_modules(TAVREL_REF_AV REQUIRED IMPORTED_TARGET libavcodec libavutil)
  add_executable(live_reference ${CMAKE_CURRENT_LIST_DIR}/live_reference.cpp)
  target_link_libraries(live_reference PRIVATE tavrel_dvrsim_lib PkgConfig::TAVREL_REF_AV)
endif()
