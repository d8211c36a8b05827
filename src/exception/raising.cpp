#include <orvik/exception.hpp>

namespace orvik {
namespace {
// A raising scope opened on one thread leaves every other thread's failed
// checks to stop the process.
thread_local int raising_depth = 0;
}  // namespace

error::error(const t_exception& e) : std::runtime_error(e_error_line(e)), exception_(e) {}

raising_scope::raising_scope() noexcept { ++raising_depth; }
raising_scope::~raising_scope() { --raising_depth; }

bool raising_enabled() noexcept { return raising_depth > 0; }

}  // namespace orvik
