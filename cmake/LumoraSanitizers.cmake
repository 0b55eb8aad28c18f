if(LUMORA_SANITIZE)
  # Applied to every target so that the libraries and their tests agree on the runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC's flow analysis reports false "may be used uninitialized" in std::variant and
    # std::optional moves once the sanitizers instrument the code (GCC documents the warning as
    # unreliable under -fsanitize); the normal build keeps the warning.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
