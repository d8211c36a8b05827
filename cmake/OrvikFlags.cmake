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
if(ORVIK_SANITIZE_THREAD)
  target_compile_options(orvik_build_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(orvik_build_flags INTERFACE -fsanitize=thread)
endif()

# 32-bit x86 defaults to x87 arithmetic, which keeps float temporaries in
# 80-bit registers; SSE rounds every operation to float32 like every other
# platform. (A source of the library refuses to build with excess precision.)
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("
#if !defined(__i386__)
#error not 32-bit x86
#endif
int main() { return 0; }" ORVIK_TARGET_IS_I386)
if(ORVIK_TARGET_IS_I386)
  target_compile_options(orvik_build_flags INTERFACE -msse2 -mfpmath=sse)
endif()
