# The client's live path end to end against running simulators, with bare
# libavcodec decoding the same records in the same run as its reference
# (scripts/bench starts the simulators).
if(TARGET tavrel_dvrsim_lib AND TARGET tavrel_sites AND TARGET tavrel_view)
  pkg_check_modules(TAVREL_LIVE_BENCH_AV REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale)
  add_executable(live_e2e ${CMAKE_CURRENT_LIST_DIR}/live_e2e.cpp ${CMAKE_CURRENT_LIST_DIR}/live_reference.cpp)
  target_link_libraries(live_e2e PRIVATE tavrel_sites tavrel_view tavrel_dvrsim_lib PkgConfig::TAVREL_LIVE_BENCH_AV)
endif()
if(TARGET live_e2e AND TAVREL_TESTS)
  tavrel_add_test(NAME live_reference_tests LABEL bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/live_reference_test.cpp ${CMAKE_CURRENT_LIST_DIR}/live_reference.cpp
    LIBS tavrel_decode tavrel_dvrsim_lib PkgConfig::TAVREL_LIVE_BENCH_AV)
  target_include_directories(live_reference_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endif()
