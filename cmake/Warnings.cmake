# Strict warnings, fatal, for every target of our own.
function(crumbleforge_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Werror -Wshadow -Wconversion -Wno-sign-conversion -Wcast-align -Wformat=2
    -Wnon-virtual-dtor -Wundef -Wnull-dereference -Wdouble-promotion)
endfunction()
