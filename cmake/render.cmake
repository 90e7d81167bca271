# Offline renderer: frame-exact capture of a production to TGA files or a video. It has its own
# main(), which checks the command line before the driver starts.
if(NOT FENTRO_SANITIZE)
  add_executable(fentro-render tools/fentro-render.cpp tools/gen/tga.cpp)
  target_link_libraries(fentro-render PRIVATE invite_scenes)
  foreach(t test_render)
    if(TARGET ${t})
      add_dependencies(${t} fentro-render coreimage)
    endif()
  endforeach()
endif()
