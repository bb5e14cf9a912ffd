# Warnings and sanitizers for every target of ours.
function(tallowmere_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

if(TALLOWMERE_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TALLOWMERE_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
