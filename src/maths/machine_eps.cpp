#include <orvik/maths.hpp>

namespace orvik {

float math_machine_eps() {
  // volatile keeps every sum a stored float32 even where the compiler could
  // otherwise carry it wider.
  volatile float eps = 1.0f;
  volatile float t = eps + 1.0f;
  while (t != 1.0f) {
    eps = eps / 2.0f;
    t = eps + 1.0f;
  }
  return eps;
}

}  // namespace orvik
