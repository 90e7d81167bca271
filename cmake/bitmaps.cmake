# TGA decoding benchmark against stb_image (libstb-dev, used by this benchmark only).
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  find_library(STB_LIBRARY stb REQUIRED)
  find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb REQUIRED)
  add_executable(bench_tga ${CMAKE_SOURCE_DIR}/bench/bench_tga.cpp)
  target_include_directories(bench_tga PRIVATE ${STB_INCLUDE_DIR})
  target_link_libraries(bench_tga PRIVATE mox ${STB_LIBRARY})
endif()
