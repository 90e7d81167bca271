# Offline renderer: frame-exact capture of a production to TGA files or a video. It has its own
# main(), which checks the command line before the driver starts.
if(NOT FENTRO_SANITIZE)
  add_executable(fentro-render tools/fentro-render.cpp)
  target_link_libraries(fentro-render PRIVATE invite_scenes)
  foreach(t test_render)
    if(TARGET ${t})
      add_dependencies(${t} fentro-render coreimage production)
    endif()
  endforeach()
endif()
# Capture speed of the renderer's normal path against its reference path (needs a display:
# run it under Xvfb in the build folder).
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_render ${CMAKE_SOURCE_DIR}/bench/bench_render.cpp)
  target_link_libraries(bench_render PRIVATE fentro_test_support)
  add_dependencies(bench_render fentro-render production)
endif()
