# The final scene's frame-budget benchmark (needs a display: run it under Xvfb).
if(NOT FENTRO_SANITIZE)
  add_executable(bench_finalscreen bench/bench_finalscreen.cpp)
  target_link_libraries(bench_finalscreen PRIVATE demosystem)
  target_include_directories(bench_finalscreen PRIVATE ${CMAKE_SOURCE_DIR}/tests)
endif()
