# Audio codecs, the frame decoder, talk encoders and the two codec libraries,
# with FFmpeg's G.726 and µ-law coders as the independent reference.
pkg_check_modules(TAVREL_AUDIO_TEST_AV REQUIRED IMPORTED_TARGET libavcodec libavutil)
tavrel_add_test(NAME decode_audio_tests LABEL decode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_codec_test.cpp ${CMAKE_CURRENT_LIST_DIR}/g726_ffmpeg_variant.cpp
  LIBS tavrel_decode PkgConfig::TAVREL_AUDIO_TEST_AV)
