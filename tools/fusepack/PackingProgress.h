#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>

namespace tavrelle::fusepack {

// The progress line of a long packing run, "packing: N/M files, X MiB", rewritten
// in place a few times a second. Small inputs (up to kThreshold bytes) print nothing.
class PackingProgress {
 public:
  static constexpr uint64_t kThreshold = 64ull << 20;

  PackingProgress(std::ostream& out, size_t totalFiles, uint64_t totalBytes);
  PackingProgress(const PackingProgress&) = delete;
  PackingProgress& operator=(const PackingProgress&) = delete;
  // Ends a line left open by a run that stopped early, so an error starts on its own line.
  ~PackingProgress();

  void addBytes(uint64_t count);
  void fileDone();
  // Prints the final state and ends the line.
  void finish();

 private:
  void showIfDue();
  void show();
  void endLine();

  std::ostream& out_;
  bool enabled_;
  size_t totalFiles_;
  size_t filesDone_ = 0;
  uint64_t bytesDone_ = 0;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point lastShown_{};
};

}  // namespace tavrelle::fusepack
