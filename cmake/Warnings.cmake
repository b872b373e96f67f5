# Strict warnings, fatal, for every target of our own (and for the playground's emcc command, web/).
set(CRUMBLEFORGE_WARNING_FLAGS
  -Wall -Wextra -Werror -Wshadow -Wconversion -Wno-sign-conversion -Wcast-align -Wformat=2
  -Wnon-virtual-dtor -Wundef -Wnull-dereference -Wdouble-promotion)

function(crumbleforge_warnings target)
  target_compile_options(${target} PRIVATE ${CRUMBLEFORGE_WARNING_FLAGS})
endfunction()
