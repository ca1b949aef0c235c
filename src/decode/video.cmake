# Video decoders: MPEG-4 through XviD, H.264 through libavcodec and through
# our libzelvadec (with libchromix packing), and the platform rule.
pkg_check_modules(TAVREL_VIDEO_AV REQUIRED IMPORTED_TARGET libavcodec libavutil)
find_path(TAVREL_XVID_INCLUDE_DIR xvid.h REQUIRED)
find_library(TAVREL_XVID_LIBRARY xvidcore REQUIRED)

list(APPEND TAVREL_DECODE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/video_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mpeg4_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/h264_decoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/h264_dll_decoder.cpp)
# chromix and zelvadec are shared libraries the decoders link by import.
list(APPEND TAVREL_DECODE_LIBS PkgConfig::TAVREL_VIDEO_AV ${TAVREL_XVID_LIBRARY} chromix zelvadec)
list(APPEND TAVREL_DECODE_INCLUDES ${TAVREL_XVID_INCLUDE_DIR})
