# The music synthesiser belongs to the production generator program; its test compiles the
# source directly.
if(TARGET test_music)
  target_sources(test_music PRIVATE ${CMAKE_SOURCE_DIR}/tools/gen/music.cpp)
endif()
