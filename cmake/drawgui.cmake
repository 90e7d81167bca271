# Editor drawing benchmark.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_drawgui ${CMAKE_SOURCE_DIR}/bench/bench_drawgui.cpp)
  target_link_libraries(bench_drawgui PRIVATE demosystem)
endif()
