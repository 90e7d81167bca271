# File layer: the image tool, the lookup benchmark and the image parser's fuzz target.
if(NOT FENTRO_SANITIZE)
  add_executable(coreimage ${CMAKE_SOURCE_DIR}/tools/coreimage.cpp)
  target_link_libraries(coreimage PRIVATE corefile)

  add_executable(bench_corefile ${CMAKE_SOURCE_DIR}/bench/bench_corefile.cpp)
  target_link_libraries(bench_corefile PRIVATE corefile benchmark::benchmark)

  # The tests drive the tool as a subprocess.
  foreach(t test_corefile test_coreimage)
    if(TARGET ${t})
      add_dependencies(${t} coreimage)
    endif()
  endforeach()

  # libFuzzer needs clang: cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
  # -DCMAKE_C_COMPILER=clang, then build and run fuzz_corefile_image.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_executable(fuzz_corefile_image ${CMAKE_SOURCE_DIR}/fuzz/fuzz_corefile_image.cpp
                   ${CMAKE_SOURCE_DIR}/corefile/imageformat.cpp ${CMAKE_SOURCE_DIR}/corefile/corefile-std.cpp
                   ${CMAKE_SOURCE_DIR}/corefile/coremem.cpp ${CMAKE_SOURCE_DIR}/corefile/libcoredebug_stdout.cpp)
    target_include_directories(fuzz_corefile_image PRIVATE ${CMAKE_SOURCE_DIR}/lib/include ${CMAKE_SOURCE_DIR})
    target_compile_options(fuzz_corefile_image PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_corefile_image PRIVATE -fsanitize=fuzzer,address,undefined)
  endif()
endif()
