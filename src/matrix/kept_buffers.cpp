// The per-thread store behind kept_buffer: at most kept_count buffers, each
// of at most kept_floats elements (n = 512 squared) and kept_total in all,
// so that a thread holds no more than 4 MiB between calls; larger buffers
// are given back.

#include "matrix/matrix_internal.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik::detail {
namespace {

constexpr std::size_t kept_count = 8;
constexpr std::size_t kept_floats = std::size_t{1} << 18;
constexpr std::size_t kept_total = std::size_t{1} << 20;

std::vector<std::vector<float>>& store() {
  thread_local std::vector<std::vector<float>> kept;
  return kept;
}

// The smallest kept buffer that holds `count` floats, taken out of the
// store; an empty vector when none does, or when nothing (or a negative
// count, which work_buffer reports) is asked for.
std::vector<float> take(std::int64_t count) {
  if (count <= 0) return {};
  auto& kept = store();
  std::size_t best = kept.size();
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (static_cast<std::int64_t>(kept[i].capacity()) < count) continue;
    if (best == kept.size() || kept[i].capacity() < kept[best].capacity()) best = i;
  }
  std::vector<float> out;
  if (best < kept.size()) {
    out.swap(kept[best]);
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(best));
  }
  return out;
}

}  // namespace

kept_buffer::kept_buffer(std::int64_t count, std::string_view message) {
  storage_ = take(count);
  if (storage_.capacity() == 0) {
    storage_ = work_buffer(count, message);
    return;
  }
  storage_.assign(static_cast<std::size_t>(count), 0.0f);
}

kept_buffer::kept_buffer(const std::vector<float>& source, std::string_view message) {
  storage_ = take(static_cast<std::int64_t>(source.size()));
  if (storage_.capacity() == 0) {
    storage_ = checked_copy(source, message);
    return;
  }
  storage_.assign(source.begin(), source.end());
}

kept_buffer::~kept_buffer() {
  auto& kept = store();
  if (storage_.capacity() == 0 || storage_.capacity() > kept_floats) return;
  std::size_t total = storage_.capacity();
  for (const auto& buffer : kept) total += buffer.capacity();
  if (kept.size() < kept_count && total <= kept_total) {
    // The store itself may not grow without throwing: then the buffer goes.
    static_cast<void>(without_throwing([&] { kept.push_back(std::move(storage_)); }));
    return;
  }
  // A full store keeps the larger buffers: a run of calls on a larger
  // matrix after smaller ones then reuses its own.
  if (kept.empty()) return;
  auto smallest = kept.begin();
  for (auto i = kept.begin(); i != kept.end(); ++i) {
    if (i->capacity() < smallest->capacity()) smallest = i;
  }
  if (smallest->capacity() < storage_.capacity() && total - smallest->capacity() <= kept_total) {
    smallest->swap(storage_);
  }
}

}  // namespace orvik::detail
