#pragma once
// Real reference data kept outside the project (NIST's certified regression
// sets, Matrix Market matrices with published norms and condition numbers):
// where to find it and how to read it. The folder is ../shared/realdata
// beside the source tree, or ORVIK_REALDATA; where it is absent the tests
// that need it are skipped with the reason.

#include <orvik/matrix.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvik::test {

// The data folder, or nothing when it is not there.
inline std::optional<std::filesystem::path> real_data_folder() {
  const char* given = std::getenv("ORVIK_REALDATA");  // NOLINT(concurrency-mt-unsafe): read before any thread
  std::filesystem::path folder =
      given != nullptr ? std::filesystem::path(given) : std::filesystem::path(ORVIK_REALDATA_DIR);
  if (!std::filesystem::is_directory(folder / "strd") || !std::filesystem::is_directory(folder / "matrices")) {
    return std::nullopt;
  }
  return folder;
}

// A dense matrix in double, column-major, as the file holds it.
struct real_matrix {
  std::int32_t rows = 0;
  std::int32_t cols = 0;
  std::vector<double> values;
  [[nodiscard]] double at(std::int32_t i, std::int32_t j) const {
    return values[static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i)];
  }
  // Rounded to float once.
  [[nodiscard]] t_matrix to_float() const {
    t_matrix m = m_zeros(rows, cols);
    for (std::size_t k = 0; k < values.size(); ++k) m.elements[k] = static_cast<float>(values[k]);
    return m;
  }
};

// A Matrix Market coordinate file: general, or symmetric with the lower
// triangle stored; duplicates are summed.
inline real_matrix read_matrix_market(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const bool symmetric = line.find("symmetric") != std::string::npos;
  while (std::getline(in, line) && !line.empty() && line[0] == '%') {
  }
  real_matrix m;
  std::int64_t entries = 0;
  std::istringstream(line) >> m.rows >> m.cols >> entries;
  m.values.assign(static_cast<std::size_t>(m.rows) * static_cast<std::size_t>(m.cols), 0.0);
  auto cell = [&](std::int32_t i, std::int32_t j) -> double& {
    return m.values[static_cast<std::size_t>(j) * static_cast<std::size_t>(m.rows) + static_cast<std::size_t>(i)];
  };
  for (std::int64_t k = 0; k < entries; ++k) {
    std::int32_t i = 0;
    std::int32_t j = 0;
    double v = 0.0;
    in >> i >> j >> v;
    cell(i - 1, j - 1) += v;
    if (symmetric && i != j) cell(j - 1, i - 1) += v;
  }
  return m;
}

// One row of matrices/REFERENCE.tsv.
struct published_values {
  double norm = 0.0;
  double min_singular_value = 0.0;
  double condition_number = 0.0;
  std::int32_t rank = 0;
};

inline std::map<std::string, published_values> read_published_values(const std::filesystem::path& folder) {
  std::ifstream in(folder / "matrices" / "REFERENCE.tsv");
  std::map<std::string, published_values> table;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("file\t", 0) == 0) continue;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) fields.push_back(cell);
    if (fields.size() < 14 || fields[0] == "-") continue;
    published_values p;
    p.norm = std::stod(fields[10]);
    p.min_singular_value = std::stod(fields[11]);
    p.condition_number = fields[12] == "Inf" ? 1e300 : std::stod(fields[12]);
    p.rank = std::stoi(fields[13]);
    table[fields[0]] = p;
  }
  return table;
}

// A NIST linear-regression set: its observations and certified estimates.
struct regression_set {
  std::vector<double> y;
  std::vector<std::vector<double>> x;  // one vector per predictor column of the file
  std::vector<double> certified;       // B0, B1, ... in the model's order
  bool intercept = true;
  std::int32_t degree = 1;  // the polynomial degree of a one-predictor model
};

inline regression_set read_regression_set(const std::filesystem::path& folder, const std::string& name) {
  std::ifstream in(folder / "strd" / (name + ".tsv"));
  regression_set r;
  std::string line;
  bool header = false;
  while (std::getline(in, line)) {
    if (line.rfind("# model", 0) == 0) r.intercept = line.find("B0") != std::string::npos;
    if (line.rfind("# B", 0) == 0) {
      std::istringstream fields(line.substr(2));
      std::string label;
      double estimate = 0.0;
      fields >> label >> estimate;
      r.certified.push_back(estimate);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (!header) {
      header = true;
      continue;
    }
    std::istringstream fields(line);
    double v = 0.0;
    fields >> v;
    r.y.push_back(v);
    std::size_t column = 0;
    while (fields >> v) {
      if (r.x.size() <= column) r.x.emplace_back();
      r.x[column++].push_back(v);
    }
  }
  r.degree = static_cast<std::int32_t>(r.certified.size()) - (r.intercept ? 1 : 0);
  return r;
}

// The condition number of a NIST set's design matrix with unit columns
// (strd/DERIVED_conditioning.tsv), 0 when the set is not listed.
inline double scaled_condition(const std::filesystem::path& folder, const std::string& name) {
  std::ifstream in(folder / "strd" / "DERIVED_conditioning.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string set;
    fields >> set;
    if (set != name) continue;
    double skip = 0.0;
    double cond_s = 0.0;
    fields >> skip >> skip >> skip >> skip >> cond_s;
    return cond_s;
  }
  return 0.0;
}

// The design matrix of the model: a one-predictor polynomial ([1] x x^2 ...)
// or, with several predictors, [1 x1 ... xk];
// each power formed in double and rounded to float once.
inline t_matrix design_matrix(const regression_set& r) {
  const auto n = static_cast<std::int32_t>(r.y.size());
  const auto p = static_cast<std::int32_t>(r.certified.size());
  t_matrix x = m_zeros(n, p);
  if (r.x.size() > 1) {
    // Several predictors (Longley): [1 x1 ... xk].
    for (std::int32_t i = 0; i < n; ++i) {
      for (std::int32_t j = 0; j < p; ++j) {
        const double v = j == 0 ? 1.0 : r.x[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i)];
        x.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)] =
            static_cast<float>(v);
      }
    }
    return x;
  }
  for (std::int32_t i = 0; i < n; ++i) {
    double power = r.intercept ? 1.0 : r.x[0][static_cast<std::size_t>(i)];
    for (std::int32_t j = 0; j < p; ++j) {
      x.elements[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)] =
          static_cast<float>(power);
      power *= r.x[0][static_cast<std::size_t>(i)];
    }
  }
  return x;
}

// Correct significant digits of `got` against `certified`: -log10 of the
// relative error, between 0 and 15.
inline double correct_digits(double got, double certified) {
  const double e = std::fabs(got - certified) / std::fabs(certified);
  if (!(e < 1.0)) return 0.0;
  return e < 1e-15 ? 15.0 : -std::log10(e);
}

}  // namespace orvik::test
