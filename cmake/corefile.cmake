# File layer: the image tool and the lookup benchmark.
if(NOT FENTRO_TSAN_BUILD)
  add_executable(coreimage ${CMAKE_SOURCE_DIR}/tools/coreimage.cpp)
  target_link_libraries(coreimage PRIVATE corefile)

  if(BUILD_TESTING)
    add_executable(bench_corefile ${CMAKE_SOURCE_DIR}/bench/bench_corefile.cpp)
    target_link_libraries(bench_corefile PRIVATE corefile benchmark::benchmark)
  endif()

  # The tests drive the tool as a subprocess.
  foreach(t test_corefile test_coreimage)
    if(TARGET ${t})
      add_dependencies(${t} coreimage)
    endif()
  endforeach()
endif()
