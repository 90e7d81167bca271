# libFuzzer targets for the TGA, WAV, project file and mesh readers. They need clang:
#   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
#   ninja -C build/fuzz fuzz_tga fuzz_wav fuzz_project fuzz_mesh
# and run, for example, build/fuzz/fuzz_tga -max_total_time=120 -rss_limit_mb=2048 -timeout=5
# -close_fd_mask=1 (the readers talk on standard output). fuzz_project takes
# -dict=fuzz/fuzz_project.dict and needs -detect_leaks=0 with ASAN_OPTIONS=detect_leaks=0 (the
# demo object keeps what it loads); FENTRO_FUZZ_SCENES=1 keeps the production's scenes in it.
# Each library is built once more, instrumented for coverage and with the address and
# undefined-behaviour sanitizers, which stop at the first fault.
if(NOT FENTRO_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
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
  fuzz_library(mox fuzz_corefile SDL2::SDL2 GLEW::GLEW OpenGL::GL OpenGL::GLU Threads::Threads)
  fuzz_library(demosystem fuzz_mox fuzz_coresound fuzz_corefile)
  fuzz_library(invite_scenes fuzz_demosystem)

  foreach(f tga:mox wav:coresound project:invite_scenes mesh:demosystem)
    string(REPLACE ":" ";" parts ${f})
    list(GET parts 0 what)
    list(GET parts 1 lib)
    add_executable(fuzz_${what} EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/fuzz/fuzz_${what}.cpp)
    target_link_libraries(fuzz_${what} PRIVATE fuzz_${lib})
    target_compile_options(fuzz_${what} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
    target_link_options(fuzz_${what} PRIVATE -fsanitize=fuzzer ${fuzz_sanitizers})
  endforeach()
endif()
