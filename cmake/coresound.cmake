# Sound system: mixer benchmark against SDL's own mixing.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_coresound ${CMAKE_SOURCE_DIR}/bench/bench_coresound.cpp)
  target_link_libraries(bench_coresound PRIVATE coresound SDL2::SDL2)
endif()

# Smoothness and lead of the music clock; run from the build folder.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_clock ${CMAKE_SOURCE_DIR}/bench/bench_clock.cpp)
  target_link_libraries(bench_clock PRIVATE coresound)
endif()
