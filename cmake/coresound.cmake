# Sound system: mixer benchmark against SDL's own mixing.
if(NOT FENTRO_SANITIZE)
  add_executable(bench_coresound ${CMAKE_SOURCE_DIR}/bench/bench_coresound.cpp)
  target_link_libraries(bench_coresound PRIVATE coresound)
endif()
