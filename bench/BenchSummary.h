#pragma once

// The figures every benchmark program adds to the one summary `make bench` prints:
// each line names a figure, the host's value, the reference's (nginx, the bare
// browser) when there is one, and the target. bench/run.sh names the file in
// TAVRELLE_BENCH_SUMMARY and prints it once every program has run.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace tavrelle::bench {

inline double medianOf(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline std::string formatted(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : "%.3g", value);
  return text;
}

// One tab-separated line: figure, unit, host, reference, host/reference, target.
inline void addToSummary(const std::string& figure, const std::string& unit, double host,
                         std::optional<double> reference, const std::string& target) {
  const char* path = std::getenv("TAVRELLE_BENCH_SUMMARY");
  if (path == nullptr) return;
  FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::string ratio = reference && *reference > 0 ? formatted(host / *reference) + "x" : "-";
  std::fprintf(file, "%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), unit.c_str(),
               formatted(host).c_str(), reference ? formatted(*reference).c_str() : "-",
               ratio.c_str(), target.c_str());
  std::fclose(file);
}

}  // namespace tavrelle::bench
