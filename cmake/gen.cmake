# Production generator: writes the built-in production's music, images, sprite sheets, editor
# fonts and cursor into a folder, the same bytes on every run.
if(NOT FENTRO_SANITIZE)
  find_package(Freetype REQUIRED)
  file(GLOB gen_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen/*.cpp)
  add_executable(fentro-gen ${gen_sources})
  target_link_libraries(fentro-gen PRIVATE corefile Freetype::Freetype)
  # No fused multiply-add: the pixels must not depend on the machine's instruction set.
  target_compile_options(fentro-gen PRIVATE -ffp-contract=off)
  if(TARGET test_generator)
    add_dependencies(test_generator fentro-gen)
    target_compile_definitions(test_generator PRIVATE
      FENTRO_GEN_PROGRAM="$<TARGET_FILE:fentro-gen>")
  endif()
endif()
