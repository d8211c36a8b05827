#pragma once
// Brent's cycle detection for the iterations whose next state is a function
// of the present one alone: once a state comes back bit for bit, the states
// (and every measure taken of them) repeat with that period for ever. One
// saved state, replaced at every power of two steps, and one comparison per
// step find the repeat within twice the length of the run-in plus the cycle.

#include "matrix/matrix_internal.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace orvik::detail {

class repeat_watch {
 public:
  // `first` is the state the steps start from; the copy stops with
  // `refused` (2001) when it cannot be made.
  repeat_watch(const std::vector<float>& first, std::string_view refused)
      : saved_(checked_copy(first, refused)), refused_(refused) {}

  // Called after every step with the new state: true when it is bit for bit
  // the saved one, period() steps later.
  bool repeats(const std::vector<float>& state) {
    ++length_;
    if (state.size() == saved_.size() && std::memcmp(state.data(), saved_.data(), state.size() * sizeof(float)) == 0) {
      return true;
    }
    if (length_ == power_) {
      if (state.size() == saved_.size()) {
        std::copy(state.begin(), state.end(), saved_.begin());
      } else {
        saved_ = checked_copy(state, refused_);
      }
      power_ *= 2;
      length_ = 0;
    }
    return false;
  }

  [[nodiscard]] std::int64_t period() const noexcept { return length_; }

 private:
  std::vector<float> saved_;
  std::string_view refused_;
  std::int64_t power_ = 1;
  std::int64_t length_ = 0;
};

}  // namespace orvik::detail
