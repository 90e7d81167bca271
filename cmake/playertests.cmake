# Player tests: tests/tools/test_player*.cpp run the built player and image tool as
# subprocesses, so building them builds both.
if(NOT FENTRO_SANITIZE)
  file(GLOB player_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/test_player*.cpp)
  foreach(t ${player_tests})
    get_filename_component(tname ${t} NAME_WE)
    add_dependencies(${tname} invite coreimage)
  endforeach()
endif()
