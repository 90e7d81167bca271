# Demo engine: project file loading benchmark against a plain fgets pass.
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_project ${CMAKE_SOURCE_DIR}/bench/bench_project.cpp)
  target_link_libraries(bench_project PRIVATE demosystem)
endif()
