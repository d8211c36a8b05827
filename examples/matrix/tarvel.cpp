// tarvel: builds a 4 x 4 random matrix, prints it, writes it to "tarvel.dat"
// and reports its size.

#include <orvik/orvik.hpp>

#include <cstdio>

namespace {

void print_size_line(const orvik::t_matrix& m) {
  std::printf(" >>>>>>>>>>>>>size info: rows= %11d , cols= %11d\n", static_cast<int>(m.rows), static_cast<int>(m.cols));
}

}  // namespace

int main() {
  orvik::t_matrix m1;
  orvik::m_init(m1, 4, 4);
  orvik::mc_random(m1, 1.0f, 10.0f);
  std::printf(" ********************************************* display initial data\n");
  std::printf("\n");
  std::printf(" * m1=\n");
  orvik::m_print(m1);
  orvik::m_print_tofile(m1, "tarvel.dat");
  print_size_line(m1);
  orvik::m_destruct(m1);
  return 0;
}
