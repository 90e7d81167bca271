# The built-in production: the generator's media and the committed text sources (timeline,
# shaders) packed into outline.dat beside the player.
if(NOT FENTRO_SANITIZE)
  file(GLOB production_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/invite/*)
  set(production_dir ${CMAKE_BINARY_DIR}/production)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/outline.dat
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${production_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${production_dir}
    COMMAND fentro-gen ${production_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${production_sources} ${production_dir}
    COMMAND coreimage create ${CMAKE_BINARY_DIR}/outline.dat ${production_dir}
    DEPENDS fentro-gen coreimage ${production_sources}
    COMMENT "Generating the production's media and packing outline.dat")
  add_custom_target(production ALL DEPENDS ${CMAKE_BINARY_DIR}/outline.dat)
endif()
