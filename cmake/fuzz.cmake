# libFuzzer targets for the readers of the resource image table, TGA images, WAV files, the
# project file and meshes. They need clang; scripts/fuzz.sh configures build/fuzz, builds them
# and runs each from its seed corpus in fuzz/corpus/ (the readers talk on standard output, which
# it closes). fuzz_project takes -dict=fuzz/fuzz_project.dict; FENTRO_FUZZ_SCENES=1 keeps the
# production's scenes in it.
# Each library is built once more, instrumented for coverage and with the address and
# undefined-behaviour sanitizers, which stop at the first fault.
if(NOT FENTRO_SANITIZERS AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)

  function(fuzz_library name)
    get_target_property(srcs ${name} SOURCES)
    add_library(fuzz_${name} STATIC EXCLUDE_FROM_ALL ${srcs})
    target_include_directories(fuzz_${name} PUBLIC ${CMAKE_SOURCE_DIR}/lib/include ${CMAKE_SOURCE_DIR})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer-no-link ${fuzz_sanitizers})
    target_link_libraries(fuzz_${name} PUBLIC ${ARGN})
  endfunction()

  fuzz_library(corefile)
  fuzz_library(coresound fuzz_corefile SDL2::SDL2 Threads::Threads)
  fuzz_library(mox fuzz_corefile SDL2::SDL2 GLEW::GLEW OpenGL::GL Threads::Threads)
  fuzz_library(demosystem fuzz_mox fuzz_coresound fuzz_corefile)
  fuzz_library(invite_scenes fuzz_demosystem)

  foreach(f corefile_image:corefile tga:mox wav:coresound project:invite_scenes mesh:demosystem)
    string(REPLACE ":" ";" parts ${f})
    list(GET parts 0 what)
    list(GET parts 1 lib)
    add_executable(fuzz_${what} EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/fuzz/fuzz_${what}.cpp)
    target_link_libraries(fuzz_${what} PRIVATE fuzz_${lib})
    target_compile_options(fuzz_${what} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
    target_link_options(fuzz_${what} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
  endforeach()
endif()
