#pragma once
// Element storage of the matrix and vector records.

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace orvik::detail {

// The largest element count whose byte count (4 per element) fits in int32.
inline constexpr std::int64_t max_elements = 536870911;

// Gives `storage` exactly `count` zeros. False when the count is negative,
// its byte count leaves the int32 range, or the allocator refuses; the
// caller then reports its own allocation error.
inline bool allocate_elements(std::vector<float>& storage, std::int64_t count) noexcept {
  if (count < 0 || count > max_elements) return false;
  try {
    std::vector<float> fresh(static_cast<std::size_t>(count), 0.0f);
    storage.swap(fresh);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

}  // namespace orvik::detail
