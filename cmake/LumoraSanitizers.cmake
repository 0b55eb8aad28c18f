if(LUMORA_SANITIZE)
  # Applied to every target so that the libraries and their tests agree on the runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
