# Tests that run the invitation's scenes link their library (the tools' tests link
# everything).
file(GLOB scene_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/demosystem/test_scenes*.cpp
                                        ${CMAKE_SOURCE_DIR}/tests/demosystem/test_finalscreen*.cpp
                                        ${CMAKE_SOURCE_DIR}/tests/demosystem/test_project_mutations.cpp
                                        ${CMAKE_SOURCE_DIR}/tests/tools/test_*.cpp)
foreach(t ${scene_tests})
  get_filename_component(tname ${t} NAME_WE)
  if(TARGET ${tname})
    target_link_libraries(${tname} PRIVATE invite_scenes)
  endif()
endforeach()

# The final scene's frame-budget benchmark (needs a display: run it under Xvfb).
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_finalscreen bench/bench_finalscreen.cpp)
  target_link_libraries(bench_finalscreen PRIVATE invite_scenes)
  target_link_libraries(bench_finalscreen PRIVATE fentro_test_support)
endif()

# Seeking into the built-in production's scenes and scrubbing the end scene backwards (run it
# from the build folder under Xvfb).
if(BUILD_TESTING AND NOT FENTRO_SANITIZE)
  add_executable(bench_seek bench/bench_seek.cpp)
  target_link_libraries(bench_seek PRIVATE invite_scenes)
endif()
