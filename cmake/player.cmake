if(NOT FENTRO_SANITIZE)
  add_executable(invite demosystem/main.cpp mox/entry_main.cpp)
  target_link_libraries(invite PRIVATE invite_scenes)
endif()
