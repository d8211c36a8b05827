#pragma once
// Element storage of the matrix and vector records, and of the float work
// buffers of the operations. Every such allocation of the library goes
// through here, so that a refusal of the allocator (or a count beyond the
// int32 byte range) becomes the calling operation's own allocation error and
// never an escaping std::bad_alloc.

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace orvik::detail {

// The largest element count whose byte count (4 per element) fits in int32.
inline constexpr std::int64_t max_elements = 536870911;

// Runs `grow`, which may allocate, and reports whether the allocator
// refused instead of letting std::bad_alloc (or length_error) escape.
template <class Grow>
[[nodiscard]] bool without_throwing(Grow grow) noexcept {
  try {
    grow();
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// Gives `storage` exactly `count` zeros. False when the count is negative,
// its byte count leaves the int32 range, or the allocator refuses; the
// caller then reports its own allocation error. `storage` is untouched then.
[[nodiscard]] inline bool allocate_elements(std::vector<float>& storage, std::int64_t count) noexcept {
  if (count < 0 || count > max_elements) return false;
  return without_throwing([&] {
    std::vector<float> fresh(static_cast<std::size_t>(count), 0.0f);
    storage.swap(fresh);
  });
}

// Gives `storage` a copy of `source`, under the same rules.
[[nodiscard]] inline bool copy_elements(std::vector<float>& storage, const std::vector<float>& source) noexcept {
  if (static_cast<std::int64_t>(source.size()) > max_elements) return false;
  return without_throwing([&] {
    std::vector<float> fresh(source);
    storage.swap(fresh);
  });
}

// Appends `value` to a work buffer that grows one value at a time.
[[nodiscard]] inline bool append_element(std::vector<float>& storage, float value) noexcept {
  if (static_cast<std::int64_t>(storage.size()) >= max_elements) return false;
  return without_throwing([&] { storage.push_back(value); });
}

// Whether `storage` holds exactly the rows x cols values a record's sizes
// promise (a vector passes its size and 1). Records are plain structs that a
// caller can edit by hand; the "allocated" checks use this so that a record
// whose storage does not match its sizes is refused before any element is
// reached. Constant time; a shape the library could never have created
// (negative, or beyond max_elements) never matches.
[[nodiscard]] inline bool holds_elements(const std::vector<float>& storage, std::int64_t rows,
                                         std::int64_t cols = 1) noexcept {
  if (rows < 0 || cols < 0) return false;
  const std::int64_t count = rows * cols;
  return count <= max_elements && static_cast<std::int64_t>(storage.size()) == count;
}

}  // namespace orvik::detail
