# Editor host: the timeline editor over a production in a mounted folder. Tests named
# tests/tools/test_fentro_edit*.cpp run it as a subprocess, so building them builds it.
if(NOT FENTRO_SANITIZE)
  add_executable(fentro-edit tools/fentro-edit.cpp mox/entry_main.cpp)
  target_link_libraries(fentro-edit PRIVATE invite_scenes)
  file(GLOB edit_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/test_fentro_edit*.cpp)
  foreach(t ${edit_tests})
    get_filename_component(tname ${t} NAME_WE)
    if(TARGET ${tname})
      add_dependencies(${tname} fentro-edit)
    endif()
  endforeach()
endif()
