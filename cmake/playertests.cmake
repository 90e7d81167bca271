# Player tests: tests/tools/test_player*.cpp run the built player and image tool as
# subprocesses, so building them builds both.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  file(GLOB player_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/test_player*.cpp)
  foreach(t ${player_tests})
    get_filename_component(tname ${t} NAME_WE)
    add_dependencies(${tname} invite coreimage)
  endforeach()
endif()
# Frame cost of playback against the same passes issued directly in GL (needs a display:
# run it under Xvfb).
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_playback ${CMAKE_SOURCE_DIR}/bench/bench_playback.cpp)
  target_link_libraries(bench_playback PRIVATE demosystem)
  target_link_libraries(bench_playback PRIVATE fentro_test_support)
endif()
