# Flags every orvik target is built with. Results must be the same bits at
# any optimisation level, so the compiler is never allowed to fuse a
# multiply and an add on its own, and nothing that relaxes IEEE semantics is
# ever turned on.
add_library(orvik_build_flags INTERFACE)
target_compile_options(orvik_build_flags INTERFACE
  -ffp-contract=off
  -fno-fast-math
  -Wall -Wextra -Wpedantic)
if(ORVIK_WARNINGS_AS_ERRORS)
  target_compile_options(orvik_build_flags INTERFACE -Werror)
endif()
if(ORVIK_SANITIZE)
  target_compile_options(orvik_build_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(orvik_build_flags INTERFACE -fsanitize=address,undefined)
endif()
