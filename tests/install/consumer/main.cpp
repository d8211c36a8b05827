#include <orvik/orvik.hpp>

#include <cstdio>

int main() {
  orvik::t_matrix m;
  orvik::m_init(m, 3, 2);
  std::printf("consumer: %d x %d\n", static_cast<int>(orvik::m_getsizerows(m)),
              static_cast<int>(orvik::m_getsizecols(m)));
  orvik::m_destruct(m);
  return 0;
}
