#include <orvik/maths.hpp>

#include <cfloat>

// Every float32 operation of the library must round to float32 at once;
// evaluating in a wider format (x87 on 32-bit x86 without -mfpmath=sse)
// would change results. Refuse to build rather than compute other bits.
static_assert(FLT_EVAL_METHOD == 0, "orvik needs float arithmetic evaluated in float (e.g. -msse2 -mfpmath=sse)");

namespace orvik {

float math_machine_eps() {
  // Found once: the factorizations ask for it on every call.
  static const float found = [] {
    // volatile keeps every sum a stored float32 even where the compiler
    // could otherwise carry it wider.
    volatile float eps = 1.0f;
    volatile float t = eps + 1.0f;
    while (t != 1.0f) {
      eps = eps / 2.0f;
      t = eps + 1.0f;
    }
    return static_cast<float>(eps);
  }();
  return found;
}

}  // namespace orvik
