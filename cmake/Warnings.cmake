# Warnings every target of ours links to; nothing global.
add_library(comsweep_warnings INTERFACE)
target_compile_options(comsweep_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast)
