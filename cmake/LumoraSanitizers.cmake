if(LUMORA_SANITIZE)
  # Applied to every target so that the libraries and their tests agree on the runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC's uninitialized-use analysis gives false reports on instrumented code (moves of
    # std::variant alternatives in the property-list value); the uninstrumented build keeps the
    # warning.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
