# Shader reload latency in the editor (needs a display: run it under Xvfb).
if(NOT FENTRO_SANITIZE)
  add_executable(bench_reload ${CMAKE_SOURCE_DIR}/bench/bench_reload.cpp)
  target_link_libraries(bench_reload PRIVATE invite_scenes)
endif()
