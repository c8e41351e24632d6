// Content serving: opening and searching a large bundle, range parsing, and answering
// requests from the bundle and from the web root folder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "content/BundleArchive.h"
#include "content/ResourceServer.h"
#include "platform/Files.h"
#include "support/BundleBuilder.h"

namespace tavrelle {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOrigin = "https://tavrelle.localhost/";
constexpr uint32_t kEntryCount = 100'000;
constexpr uint64_t kSparseBlobSize = uint64_t{6} << 30;  // 6 GiB, almost all of it a hole
constexpr uint64_t kFolderFileSize = 16 << 20;

std::string EntryName(uint32_t index) {
  return "assets/sprites/frame" + std::to_string(index) + ".png";
}

// `count` entries of fileSize bytes spread evenly over the blob.
std::string Directory(uint32_t count, uint64_t blobSize, uint64_t fileSize) {
  std::vector<test::DirectoryEntry> entries;
  entries.reserve(count);
  const uint64_t stride = blobSize / count;
  for (uint32_t index = 0; index < count; ++index) {
    entries.push_back(
        {.name = EntryName(index), .offset = index * stride, .size = fileSize, .extra = index});
  }
  return test::DirectoryData(entries);
}

// Files shared by the benchmarks, removed at exit.
class Fixture {
 public:
  static Fixture& get() {
    static Fixture fixture;
    return fixture;
  }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;
  ~Fixture() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  const MappedFile& largeBundle() const { return *largeBundle_; }
  const std::string& smallBundle() const { return smallBundle_; }
  std::string webRoot() const { return (folder_ / "www").string() + "/"; }

 private:
  Fixture()
      : folder_(fs::temp_directory_path() /
                ("tavrelle-bench-" + std::to_string(std::random_device{}()))) {
    fs::create_directories(folder_ / "www");
    writeLargeBundle(folder_ / "large.zxab");
    largeBundle_ = MappedFile::open((folder_ / "large.zxab").string());
    if (!largeBundle_) {
      throw std::runtime_error("cannot map the large bundle");
    }
    const std::string page(4096, 'p');
    smallBundle_ = test::BundleBuilder().addFile(EntryName(0), page).build();
    std::ofstream(folder_ / "www" / "video.mp4", std::ios::binary)
        << std::string(kFolderFileSize, 'v');
  }

  // Header, the blob chunk's header, a hole of kSparseBlobSize bytes, then the directory.
  static void writeLargeBundle(const fs::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << test::BundleHeader() << test::ChunkHeader("blob", kSparseBlobSize);
    out.seekp(static_cast<std::streamoff>(28 + kSparseBlobSize));
    out << test::Chunk("fdir", Directory(kEntryCount, kSparseBlobSize, 4096));
    if (!out) {
      throw std::runtime_error("cannot write the large bundle");
    }
  }

  fs::path folder_;
  std::shared_ptr<const MappedFile> largeBundle_;
  std::string smallBundle_;
};

void OpenLargeBundle(BundleArchive& archive) {
  const auto bytes = Fixture::get().largeBundle().bytes();
  archive.openMemory(bytes.data(), bytes.size());
}

void BM_OpenBundle100kEntriesOverSixGiBBlob(benchmark::State& state) {
  for (auto _ : state) {
    BundleArchive archive;
    OpenLargeBundle(archive);
    benchmark::DoNotOptimize(archive.fileCount());
  }
}
BENCHMARK(BM_OpenBundle100kEntriesOverSixGiBBlob)->Unit(benchmark::kMillisecond);

void BM_LookupIn100kEntries(benchmark::State& state) {
  BundleArchive archive;
  OpenLargeBundle(archive);
  std::vector<std::string> names;
  for (uint32_t index = 0; index < kEntryCount; index += 997) {
    names.push_back(EntryName(index));
  }
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(archive.lookup(names[next]));
    next = (next + 1) % names.size();
  }
}
BENCHMARK(BM_LookupIn100kEntries);

void BM_ParseRange(benchmark::State& state) {
  const std::string_view values[] = {"bytes=0-", "bytes=1048576-3145727", "bytes=-500",
                                     "bytes=0-99,200-299"};
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ResourceServer::parseRange(values[next], 1 << 30));
    next = (next + 1) % std::size(values);
  }
}
BENCHMARK(BM_ParseRange);

void Serve(benchmark::State& state, ResourceServer& server,
           const webview::WebResourceRequest& request, bool readBody) {
  std::vector<std::byte> sink(readBody ? 2 << 20 : 0);
  uint64_t served = 0;
  for (auto _ : state) {
    webview::WebResourceRequestedEventArgs args(request, webview::WebResourceContext::All);
    server.handleRequest(args);
    const auto& body = args.get_Response()->content;
    served += body->size();
    if (readBody) {
      benchmark::DoNotOptimize(body->read(0, sink));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(served));
}

void BM_HandleRequestBundleHit4KiB(benchmark::State& state) {
  const std::string& bytes = Fixture::get().smallBundle();
  BundleArchive bundle;
  bundle.openMemory(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size());
  ResourceServer server(kOrigin, Fixture::get().webRoot(), bundle);
  Serve(state, server, {std::string(kOrigin) + EntryName(0), "GET", {}}, false);
}
BENCHMARK(BM_HandleRequestBundleHit4KiB);

void BM_HandleRequestFolderRange2MiB(benchmark::State& state) {
  const bool readBody = state.range(0) != 0;
  BundleArchive noBundle;
  ResourceServer server(kOrigin, Fixture::get().webRoot(), noBundle);
  const webview::HttpRequestHeaders range(
      std::vector<std::pair<std::string, std::string>>{{"Range", "bytes=4194304-"}});
  Serve(state, server, {std::string(kOrigin) + "video.mp4", "GET", range}, readBody);
  server.releaseMappedFiles();
}
BENCHMARK(BM_HandleRequestFolderRange2MiB)->ArgName("readBody")->Arg(0)->Arg(1);

}  // namespace
}  // namespace tavrelle
