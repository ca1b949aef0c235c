# Adds each listed folder that has a CMakeLists.txt, except those named in
# TAVREL_SKIP_FOLDERS (a developer's partial build).
set(TAVREL_SKIP_FOLDERS "" CACHE STRING "Folders to leave out of the build")
function(tavrel_add_folders)
  foreach(dir IN LISTS ARGN)
    if(dir IN_LIST TAVREL_SKIP_FOLDERS)
      continue()
    endif()
    if(EXISTS "${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt")
      add_subdirectory("${PROJECT_SOURCE_DIR}/${dir}" "${PROJECT_BINARY_DIR}/${dir}")
    endif()
  endforeach()
endfunction()

# tavrel_add_test(NAME name LABEL label SOURCES ... LIBS ...)
# One GoogleTest executable whose cases are registered with CTest under a label.
function(tavrel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS "${T_LABEL}"
    DISCOVERY_TIMEOUT 60
    EXTRA_ARGS --gtest_brief=0)
endfunction()

# tavrel_add_fuzzer(NAME name SOURCES ... LIBS ...)
# In a fuzz build: a libFuzzer binary. Otherwise: the same entry point linked with a
# small driver that replays the checked-in corpus, registered as a CTest case.
function(tavrel_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  if(TAVREL_FUZZ)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${F_NAME} PRIVATE "${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp")
    if(TAVREL_TESTS)
      add_test(NAME fuzz_replay_${F_NAME}
               COMMAND ${F_NAME} "${PROJECT_SOURCE_DIR}/fuzz/corpus/${F_NAME}")
      set_tests_properties(fuzz_replay_${F_NAME} PROPERTIES LABELS fuzz)
    endif()
  endif()
endfunction()
