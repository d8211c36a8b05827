#include <orvik/orvik.hpp>
#include <orvik/version.hpp>

#include <cstdio>

int main() {
  orvik::t_matrix m;
  orvik::m_init(m, 3, 2);
  std::printf("consumer %s: %d x %d\n", ORVIK_VERSION, static_cast<int>(orvik::m_getsizerows(m)),
              static_cast<int>(orvik::m_getsizecols(m)));
  orvik::m_destruct(m);
  return 0;
}
