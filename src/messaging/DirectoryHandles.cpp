#include "messaging/DirectoryHandles.h"

#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "content/MimeTable.h"
#include "content/ResponseBodies.h"
#include "messaging/EntryNames.h"
#include "messaging/HostMessages.h"

namespace tavrelle {

namespace {

using Json = nlohmann::json;

constexpr const char* kDirectoryHandlesType = "directory-handles";
// Bodies offered by reads and never fetched; the oldest go first beyond this.
constexpr size_t kMaxUnfetchedBodies = 64;

// A failure the page sees as an exception of this name ("TypeError" or a DOMException's).
class CallError : public std::runtime_error {
 public:
  CallError(const char* name, const std::string& message)
      : std::runtime_error(message), name_(name) {}
  [[nodiscard]] const char* name() const { return name_; }

 private:
  const char* name_;
};

const char* ExceptionNameOf(FileOperationFailure failure) {
  switch (failure) {
    case FileOperationFailure::NotFound:
      return "NotFoundError";
    case FileOperationFailure::TypeMismatch:
      return "TypeMismatchError";
    case FileOperationFailure::InvalidModification:
      return "InvalidModificationError";
    case FileOperationFailure::NotAllowed:
      return "NotAllowedError";
    case FileOperationFailure::NoSpace:
      return "QuotaExceededError";
    case FileOperationFailure::Failed:
      break;
  }
  return "InvalidStateError";
}

std::string NewToken() {
  static thread_local std::random_device source;
  static constexpr std::string_view kHex = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    uint32_t word = source();
    for (int nibble = 0; nibble < 8; ++nibble, word >>= 4) token += kHex[word & 0xf];
  }
  return token;
}

// The name the folder's handle shows: its last component.
std::string FolderName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == std::string::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

const std::string& StringMember(const Json& call, const char* key) {
  auto found = call.find(key);
  if (found == call.end() || !found->is_string())
    throw CallError("TypeError", std::string("missing ") + key);
  return found->get_ref<const std::string&>();
}

bool BoolMember(const Json& call, const char* key) {
  auto found = call.find(key);
  return found != call.end() && found->is_boolean() && found->get<bool>();
}

uint64_t SizeMember(const Json& call, const char* key) {
  auto found = call.find(key);
  if (found == call.end() || !found->is_number_unsigned())
    throw CallError("TypeError", std::string("missing ") + key);
  return found->get<uint64_t>();
}

std::string EntryName(const Json& call) {
  const std::string& name = StringMember(call, "name");
  if (!IsValidEntryName(name)) throw CallError("TypeError", "Name is not allowed.");
  return name;
}

// Paths reach the browser as JSON text, which holds UTF-8 only.
bool IsUtf8(const std::string& text) {
  if (text.empty()) return false;
  try {
    (void)Json(text).dump();
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

RelativePath PathOf(const Json& call) {
  RelativePath path;
  auto found = call.find("path");
  if (found == call.end() || !found->is_array()) throw CallError("TypeError", "missing path");
  for (const auto& element : *found) {
    if (!element.is_string() || !IsValidEntryName(element.get_ref<const std::string&>()))
      throw CallError("TypeError", "Name is not allowed.");
    path.push_back(element.get<std::string>());
  }
  return path;
}

// The page's upload of one write: its bytes go straight into the new version.
class PendingFileUpload final : public webview::RequestBodySink {
 public:
  PendingFileUpload(std::shared_ptr<PendingFile> file, uint64_t position, uint64_t size)
      : file_(std::move(file)), position_(position), size_(size) {}
  [[nodiscard]] uint64_t size() const override { return size_; }
  bool write(uint64_t offset, std::span<const std::byte> bytes) override {
    if (offset > size_ || bytes.size() > size_ - offset) return false;
    return file_->write(position_ + offset, bytes);
  }

 private:
  std::shared_ptr<PendingFile> file_;
  uint64_t position_;
  uint64_t size_;
};

}  // namespace

struct DirectoryHandles::Writer {
  // Shared with uploads still in flight; the new version is dropped with the last owner.
  std::shared_ptr<PendingFile> file;
};

DirectoryHandles::DirectoryHandles(Setup setup, FolderTable& folderTable)
    : setup_(std::move(setup)), folderTable_(folderTable) {}

DirectoryHandles::~DirectoryHandles() = default;

void DirectoryHandles::send(webview::WebView& webView) {
  writers_.clear();
  bodies_.clear();
  bodyOrder_.clear();
  grants_.clear();
  std::vector<std::optional<webview::WebFileSystemDirectoryHandle>> handles(kNamedFolderCount);
  const auto folders = ResolveNamedFolders(setup_.folders);
  for (size_t slot = 0; slot < folders.size(); ++slot) {
    const NamedFolder& folder = folders[slot];
    // A folder that does not exist gets no handle and no table entry.
    auto opened = ConfinedFolder::open(folder.path);
    if (!opened) continue;
    folderTable_[std::string(folder.name)] = folder.path;
    std::string grant = NewToken();
    grants_.emplace(grant, std::move(opened));
    handles[slot] = webview::WebFileSystemDirectoryHandle{grant, FolderName(folder.path)};
  }
  webView.PostWebMessageAsJsonWithAdditionalObjects(
      host_messages::ToCompactJson(Json{{"type", kDirectoryHandlesType}}), handles);
}

void DirectoryHandles::handleCall(webview::FileSystemCallReceivedEventArgs& args,
                                  webview::WebView& webView) {
  Json reply = Json::object();
  try {
    Json call = Json::parse(args.get_Request());
    if (!call.is_object()) throw CallError("TypeError", "not a call");
    if (auto id = call.find("id"); id != call.end() && id->is_number_unsigned()) reply["id"] = *id;
    if (!args.get_IsFromTopDocument() || !args.get_Source().starts_with(setup_.contentOrigin))
      throw CallError("NotAllowedError", "Only the app's page may use its folders.");
    dispatch(StringMember(call, "op"), call, reply, args, webView);
    reply["ok"] = true;
  } catch (const CallError& error) {
    reply["error"] = error.name();
    reply["message"] = error.what();
  } catch (const FileOperationError& error) {
    reply["error"] = ExceptionNameOf(error.failure());
    reply["message"] = error.what();
  } catch (const std::exception& error) {
    reply["error"] = "InvalidStateError";
    reply["message"] = error.what();
  }
  args.put_Reply(host_messages::ToCompactJson(reply));
}

void DirectoryHandles::dispatch(const std::string& op, const Json& call, Json& reply,
                                webview::FileSystemCallReceivedEventArgs& args,
                                webview::WebView& webView) {
  if (op == "get-directory") return getEntry(call, EntryKind::Directory);
  if (op == "get-file") return getEntry(call, EntryKind::File);
  if (op == "remove") return remove(call);
  if (op == "list") return list(call, reply);
  if (op == "read") return read(call, reply, args);
  if (op == "open-writable") return openWritable(call, reply);
  if (op == "write") return write(call, reply, webView);
  if (op == "truncate") return truncate(call);
  if (op == "close") return close(call);
  if (op == "abort") return abort(call);
  throw CallError("TypeError", "unknown operation");
}

const ConfinedFolder& DirectoryHandles::folderOf(const Json& call) const {
  auto found = grants_.find(StringMember(call, "grant"));
  if (found == grants_.end())
    throw CallError("NotFoundError", "The folder was handed to an earlier page.");
  return *found->second;
}

DirectoryHandles::Writer& DirectoryHandles::writerOf(const Json& call) {
  auto found = writers_.find(StringMember(call, "writer"));
  if (found == writers_.end()) throw CallError("InvalidStateError", "The stream is closed.");
  return *found->second;
}

void DirectoryHandles::getEntry(const Json& call, EntryKind kind) {
  const ConfinedFolder& folder = folderOf(call);
  RelativePath parent = PathOf(call);
  std::string name = EntryName(call);
  if (BoolMember(call, "create")) {
    kind == EntryKind::Directory ? folder.createDirectory(parent, name)
                                 : folder.createFile(parent, name);
    return;
  }
  parent.push_back(name);
  if (folder.kindOf(parent) != kind)
    throw CallError("TypeMismatchError",
                    "The path supplied exists, but was not an entry of requested type.");
}

void DirectoryHandles::remove(const Json& call) {
  folderOf(call).remove(PathOf(call), EntryName(call), BoolMember(call, "recursive"));
}

void DirectoryHandles::list(const Json& call, Json& reply) {
  Json entries = Json::array();
  for (auto& entry : folderOf(call).list(PathOf(call))) {
    entries.push_back({{"kind", entry.kind == EntryKind::Directory ? "directory" : "file"},
                       {"name", entry.name}});
  }
  reply["entries"] = std::move(entries);
}

void DirectoryHandles::read(const Json& call, Json& reply,
                            webview::FileSystemCallReceivedEventArgs& args) {
  RelativePath path = PathOf(call);
  if (path.empty()) throw CallError("TypeMismatchError", "A folder is no file.");
  OpenedFile opened = folderOf(call).openForReading(path);
  // A File's type is the bare media type, empty when unknown.
  std::string type = MimeTable::lookup(path.back());
  type = type.substr(0, type.find(';'));
  if (type == "application/octet-stream") type.clear();
  reply["size"] = opened.reader->size();
  reply["lastModified"] = opened.lastModifiedMs;
  reply["type"] = type;
  // The browser reads the file itself where it can name it: no copy of the bytes on the
  // way, and the page's File stays tied to the file as it was when read.
  if (IsUtf8(opened.path)) {
    args.put_ReplyFile(opened.path);
    return;
  }
  reply["url"] = offerBody(std::move(opened));
}

std::string DirectoryHandles::offerBody(OpenedFile opened) {
  uint64_t size = opened.reader->size();
  std::string token = NewToken();
  bodies_[token] = std::make_shared<FileBody>(std::move(opened.reader), size);
  bodyOrder_.push_back(token);
  while (bodyOrder_.size() > kMaxUnfetchedBodies) {
    bodies_.erase(bodyOrder_.front());
    bodyOrder_.pop_front();
  }
  return setup_.bodyAddressPrefix + token;
}

bool DirectoryHandles::answerBodyRequest(webview::WebResourceRequestedEventArgs& args) {
  const std::string& uri = args.get_Request().uri;
  if (!uri.starts_with(setup_.bodyAddressPrefix)) return false;
  auto found = bodies_.find(uri.substr(setup_.bodyAddressPrefix.size()));
  webview::WebResourceResponse response;
  if (found == bodies_.end()) {
    response.statusCode = 404;
    response.reasonPhrase = "Not Found";
    response.headers = "Cache-Control: no-store";
  } else {
    response.content = found->second;
    response.statusCode = 200;
    response.reasonPhrase = "OK";
    response.headers = "Content-Type: application/octet-stream\nCache-Control: no-store";
    std::erase(bodyOrder_, found->first);
    bodies_.erase(found);
  }
  args.put_Response(std::move(response));
  return true;
}

void DirectoryHandles::openWritable(const Json& call, Json& reply) {
  RelativePath path = PathOf(call);
  if (path.empty()) throw CallError("TypeMismatchError", "A folder is no file.");
  std::string name = path.back();
  path.pop_back();
  const ConfinedFolder& folder = folderOf(call);
  bool keep = BoolMember(call, "keepExistingData");
  uint64_t size = 0;
  if (keep) {
    RelativePath filePath = path;
    filePath.push_back(name);
    size = folder.openForReading(filePath).reader->size();
  }
  auto writer = std::make_unique<Writer>();
  writer->file = folder.beginWrite(path, name, keep);
  std::string id = NewToken();
  writers_.emplace(id, std::move(writer));
  reply["writer"] = id;
  reply["size"] = size;
}

void DirectoryHandles::write(const Json& call, Json& reply, webview::WebView& webView) {
  Writer& writer = writerOf(call);
  uint64_t position = SizeMember(call, "position");
  uint64_t size = SizeMember(call, "size");
  std::string url = webView.OfferRequestBodyUpload(
      std::make_shared<PendingFileUpload>(writer.file, position, size));
  if (url.empty()) throw CallError("InvalidStateError", "The data cannot be received.");
  reply["url"] = url;
}

void DirectoryHandles::truncate(const Json& call) {
  writerOf(call).file->truncate(SizeMember(call, "size"));
}

void DirectoryHandles::close(const Json& call) {
  auto found = writers_.find(StringMember(call, "writer"));
  if (found == writers_.end()) throw CallError("TypeError", "The stream is closed.");
  auto writer = std::move(found->second);
  writers_.erase(found);
  writer->file->commit();
}

void DirectoryHandles::abort(const Json& call) {
  auto found = writers_.find(StringMember(call, "writer"));
  if (found == writers_.end()) return;
  found->second->file->discard();
  writers_.erase(found);
}

}  // namespace tavrelle
