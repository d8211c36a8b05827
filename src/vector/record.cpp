// The vector record: storage, filling, element access and the text file reader.

#include <orvik/utility.hpp>
#include <orvik/vector.hpp>

#include "common/storage.hpp"
#include "maths/random_source.hpp"
#include "utility/text_reader.hpp"
#include "vector/vector_internal.hpp"

#include <algorithm>

namespace orvik {
namespace {

// Each thread remembers its own defaults.
thread_local std::int32_t remembered_size = 2;
thread_local std::int32_t remembered_first = 1;
thread_local std::int32_t remembered_last = 1;

// Sets the size and gives `v` that many zeros, or stops with `message`. The
// size is set first, so a failed request leaves it claiming the new count.
void create_storage(t_vector& v, std::int32_t n, std::string_view message) {
  v.size = n;
  if (!detail::allocate_elements(v.elements, n)) detail::v_fail(message, 2001);
  v.allocated = true;
}

void fill(t_vector& v, float value) { std::fill(v.elements.begin(), v.elements.end(), value); }

}  // namespace

void detail::v_remember_init_size(std::int32_t n) noexcept { remembered_size = n; }

void v_init(t_vector& v, std::optional<std::int32_t> n) {
  if (n) remembered_size = *n;
  if (remembered_size < 1) detail::v_fail("v_init::positive size expected", 201);
  v_destruct(v);
  create_storage(v, remembered_size, "v_init::vector allocate error");
}

void v_resize(t_vector& v, std::int32_t n) {
  if (n < 1) detail::v_fail("v_resize::positive size expected", 201);
  v_destruct(v);
  create_storage(v, n, "v_resize::vector allocate error");
}

void v_init_fromfile(t_vector& v, std::string_view filename, std::optional<std::int32_t> /*unit*/) {
  u_is_exist_file(filename);
  v_destruct(v);
  detail::text_reader in(filename);
  std::int32_t count = 0;
  // A file that ends before the count is not an error: v stays unallocated.
  if (!in.read_int(count)) return;
  v.size = count;
  if (count < 1) detail::v_fail("v_init_fromfile::positive size expected", 201);
  // Values the file does not reach stay 0.0.
  create_storage(v, count, "v_init_fromfile::vector allocate error");
  in.next_statement();
  for (std::int32_t i = 1; i <= count; ++i) {
    if (!in.read_real(detail::at(v, i))) return;
  }
}

t_vector v_zeros(std::int32_t n) {
  // A negative size would leave a record claiming a negative size; zero is
  // still allowed and gives an allocated vector without elements.
  if (n < 0) detail::v_fail("v_zeros::vector size is nil or negative", 201);
  t_vector result;
  create_storage(result, n, "v_zeros::vector allocate error");
  return result;
}

t_vector v_ones(std::int32_t n) {
  if (n < 1) detail::v_fail("v_ones::vector size is nil or negative", 201);
  t_vector result;
  create_storage(result, n, "v_ones::allocate error");
  fill(result, 1.0f);
  return result;
}

void v_init_value(t_vector& v, float value) {
  detail::v_require_allocated(v, "v_init_value::vector not allocate yet");
  fill(v, value);
}

void v_affect(t_vector& v, float value) {
  detail::v_require_allocated(v, "v_affect::vector not allocated");
  fill(v, value);
}

void vc_random(t_vector& v, std::optional<float> low, std::optional<float> high) {
  detail::v_require_allocated(v, "vc_random::vector not allocate yet");
  const float lo = low.value_or(1.0f);
  const float hi = high.value_or(static_cast<float>(v.size));
  for (std::int32_t i = 1; i <= v.size; ++i) detail::at(v, i) = detail::random_fill_value(i, lo, hi);
}

void v_destruct(t_vector& v) {
  if (!v.allocated) return;
  // A record marked allocated whose storage has gone (only possible when a
  // caller edits the fields by hand) cannot be released.
  const bool has_storage = !v.elements.empty() || v.size <= 0;
  if (!has_storage) detail::v_fail("v_destruct::vector deallocate error", 2002);
  std::vector<float>().swap(v.elements);
  v.allocated = false;
}

std::int32_t v_size(const t_vector& v) {
  detail::v_require_allocated(v, "v_size::vector not allocated");
  return v.size;
}

float v_get(const t_vector& v, std::int32_t index) {
  detail::v_require_allocated(v, "v_get::vector not allocated");
  if (index < 1 || index > v.size) detail::v_fail("v_get::vector size nil or negative", 201);
  return detail::at(v, index);
}

void v_set(t_vector& v, std::int32_t index, float value) {
  detail::v_require_allocated(v, "v_set::vector not allocated");
  if (index < 1 || index > v.size) detail::v_fail("v_set::vector size nil or negative", 201);
  detail::at(v, index) = value;
}

std::vector<float> v_get_v(const t_vector& v) {
  detail::v_require_allocated(v, "v_get_v::vector not allocated");
  std::vector<float> values;
  if (!detail::copy_elements(values, v.elements)) detail::v_fail("v_get_v::allocate error", 2001);
  return values;
}

t_vector v_extract(const t_vector& v, std::optional<std::int32_t> first, std::optional<std::int32_t> last) {
  if (first) remembered_first = *first;
  if (last) remembered_last = *last;
  // The bounds are remembered even when the checks below stop the call.
  detail::v_require_allocated(v, "v_extract::vector not allocated");
  if (remembered_first < 1 || remembered_last < 1) detail::v_fail("v_extract::positive boundary expected", 2001);
  if (remembered_first > v.size || remembered_last > v.size) detail::v_fail("v_extract::inconsistent boundary", 2001);
  t_vector result;
  v_init(result, remembered_last - remembered_first + 1);
  std::copy_n(v.elements.begin() + (remembered_first - 1), result.size, result.elements.begin());
  return result;
}

void v_add_val_end(t_vector& v, float value) {
  detail::v_require_allocated(v, "v_add_val_end::vector not allocated");
  // Exactly one more element and no spare capacity, so every append copies
  // the whole vector. The new storage is had before the old is let go: a
  // refused request leaves v as it was.
  std::vector<float> grown;
  if (!detail::allocate_elements(grown, static_cast<std::int64_t>(v.size) + 1)) {
    detail::v_fail("v_add_val_end::vector allocate error", 2001);
  }
  std::copy(v.elements.begin(), v.elements.end(), grown.begin());
  grown.back() = value;
  v.elements.swap(grown);
  ++v.size;
}

}  // namespace orvik
