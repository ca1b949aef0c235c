# Audio codecs and talk encoders: IMA ADPCM and G.726 (our own), the frame
# decoder on top of them and of the two codec libraries, the talk encoders.
list(APPEND TAVREL_DECODE_SOURCES
  "${CMAKE_CURRENT_LIST_DIR}/g726.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/ima_adpcm.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/audio_decoder.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/talk_encoders.cpp")
list(APPEND TAVREL_DECODE_LIBS adpcmlib voiceengine)
