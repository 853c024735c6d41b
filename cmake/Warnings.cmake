# One warning set for the host compiler, clang and both mingw-w64 compilers.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-qual -Wformat=2)
if(HTA_WERROR)
  add_compile_options(-Werror)
endif()
