#include "fusepack/PackingProgress.h"

namespace tavrelle::fusepack {

namespace {
constexpr std::chrono::milliseconds kInterval{250};
}  // namespace

PackingProgress::PackingProgress(std::ostream& out, size_t totalFiles, uint64_t totalBytes)
    : out_(out), enabled_(totalBytes > kThreshold), totalFiles_(totalFiles) {}

PackingProgress::~PackingProgress() { endLine(); }

void PackingProgress::addBytes(uint64_t count) {
  bytesDone_ += count;
  showIfDue();
}

void PackingProgress::fileDone() {
  ++filesDone_;
  showIfDue();
}

void PackingProgress::finish() {
  if (enabled_) {
    show();
    endLine();
  }
}

void PackingProgress::showIfDue() {
  const auto now = std::chrono::steady_clock::now();
  if (enabled_ && now - lastShown_ >= kInterval) {
    lastShown_ = now;
    show();
  }
}

void PackingProgress::show() {
  out_ << "\rpacking: " << filesDone_ << '/' << totalFiles_ << " files, " << (bytesDone_ >> 20)
       << " MiB" << std::flush;
  lineOpen_ = true;
}

void PackingProgress::endLine() {
  if (lineOpen_) {
    out_ << '\n' << std::flush;
    lineOpen_ = false;
  }
}

}  // namespace tavrelle::fusepack
