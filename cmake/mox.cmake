# Platform driver and video: the process-entry probe that the driver tests start as a
# subprocess, and the video benchmark.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(mox_probe ${CMAKE_SOURCE_DIR}/tests/mox/driver_probe.cpp
                           ${CMAKE_SOURCE_DIR}/mox/entry_main.cpp)
  target_link_libraries(mox_probe PRIVATE mox SDL2::SDL2)
  if(TARGET test_driver)
    add_dependencies(test_driver mox_probe)
  endif()

  add_executable(bench_video ${CMAKE_SOURCE_DIR}/bench/bench_video.cpp)
  target_link_libraries(bench_video PRIVATE mox)
endif()
