// Which kernel table the process runs, as users and bug reports see it.

#include <orvik/runtime.hpp>

#include "kernels/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// What the processor offers, for the instruction sets the library has
// kernels for.
bool processor_has_fused_kernels() {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#elif defined(__aarch64__)
  return true;
#else
  return false;
#endif
}

TEST(KernelsInUse, NamesTheActiveTable) {
  const std::string name = orvik::kernels_in_use();
  EXPECT_EQ(name, orvik::kernels::active_kernels().name);
  EXPECT_TRUE(name == "avx512" || name == "avx2" || name == "neon" || name == "reference") << name;
}

TEST(KernelsInUse, FastTableWhereTheBuildAndProcessorHaveOne) {
  const char* wanted = std::getenv("ORVIK_KERNELS");  // NOLINT(concurrency-mt-unsafe): no other thread runs
  const std::string name = orvik::kernels_in_use();
  if (wanted != nullptr && std::string(wanted) == "reference") {
    EXPECT_EQ(name, "reference");
    return;
  }
#if !defined(ORVIK_FAST_KERNELS_BUILT)
  GTEST_SKIP() << "built without Highway's headers (or for the reference loops only): no fast table to dispatch to";
#else
  if (!processor_has_fused_kernels()) GTEST_SKIP() << "this processor has no fused multiply-add vector unit";
  EXPECT_NE(name, "reference");
  if (wanted != nullptr && std::string(wanted) == "avx2") {
    EXPECT_EQ(name, "avx2");
  }
#endif
}

}  // namespace
