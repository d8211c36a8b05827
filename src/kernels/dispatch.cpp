// The choice of kernel table, made once per process.

#include "kernels/kernels.hpp"

#include <orvik/runtime.hpp>

#include <cstdlib>
#include <cstring>

namespace orvik::kernels {

const kernel_table& optimised_kernels() noexcept {
#if defined(ORVIK_HAVE_HIGHWAY)
  static const kernel_table* const fused = fused_kernels();
  if (fused != nullptr) return *fused;
#endif
  // Without a fused multiply-add instruction a faster loop would have to
  // round twice per step, so the reference loops are the fast ones.
  return reference_kernels();
}

namespace {

const kernel_table& choose() noexcept {
#if defined(ORVIK_REFERENCE_KERNELS)
  return reference_kernels();
#else
  // Read once: a program cannot switch tables half way through a run.
  const char* wanted = std::getenv("ORVIK_KERNELS");  // NOLINT(concurrency-mt-unsafe): read before any thread asks
  if (wanted != nullptr && std::strcmp(wanted, "reference") == 0) return reference_kernels();
  return optimised_kernels();
#endif
}

}  // namespace

const kernel_table& active_kernels() noexcept {
  static const kernel_table& table = choose();
  return table;
}

}  // namespace orvik::kernels

const char* orvik::kernels_in_use() noexcept { return kernels::active_kernels().name; }
