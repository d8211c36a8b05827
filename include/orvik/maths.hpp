#pragma once

namespace orvik {

// The unit round-off of float32, 2^-24, found by halving with every sum
// rounded to float32.
float math_machine_eps();

}  // namespace orvik
