#pragma once

// The web view runtime as the host sees it: environment, controller, web view,
// settings, request and response objects, and event registrations. The host's
// code talks only to these interfaces; src/platform/chromium implements them over
// an installed Chromium-family browser, tests implement them with small fakes.
//
// Guarantees every implementation keeps:
// - Creation is asynchronous: the environment, then the controller, arrive in
//   their completion handlers through the main loop, after the creating call returned.
// - Every completion and event is delivered on the main thread, one at a time.
// - A request whose URI begins with a registered filter pattern (the pattern's text
//   before its final "*") never reaches a network; WebResourceRequested is raised and
//   the response put on the arguments before the handler returns is used.
// - WebMessageReceived carries the URL of the document that posted, as the browser
//   knows it; the page cannot choose it.
// - No registration is ever removed; handlers live as long as the object.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/Geometry.h"

namespace tavrelle::webview {

class CompositionController;

// ----- Responses -----

// The body of a response: read later by the runtime, possibly on another thread,
// possibly after the host has released its own caches. Implementations therefore own
// (or share ownership of) the bytes they serve.
class ResponseBody {
 public:
  virtual ~ResponseBody() = default;
  [[nodiscard]] virtual uint64_t size() const = 0;
  // Copies up to out.size() bytes from offset; returns the count, 0 at the end or on error.
  virtual size_t read(uint64_t offset, std::span<std::byte> out) const = 0;
  // The bytes, when the body is one block of memory; empty otherwise.
  [[nodiscard]] virtual std::span<const std::byte> contiguousBytes() const { return {}; }
};

struct WebResourceResponse {
  std::shared_ptr<const ResponseBody> content;  // may be null: no body
  int statusCode = 200;
  std::string reasonPhrase;
  std::string headers;  // header lines joined with "\n", none after the last
};

// ----- Requests -----

class HttpRequestHeaders {
 public:
  HttpRequestHeaders() = default;
  explicit HttpRequestHeaders(std::vector<std::pair<std::string, std::string>> headers)
      : headers_(std::move(headers)) {}
  // Header names compare without regard to ASCII case.
  [[nodiscard]] bool Contains(const std::string& name) const;
  // The first value of the header; empty when absent.
  [[nodiscard]] std::string GetHeader(const std::string& name) const;
  [[nodiscard]] const std::vector<std::pair<std::string, std::string>>& all() const {
    return headers_;
  }

 private:
  std::vector<std::pair<std::string, std::string>> headers_;
};

struct WebResourceRequest {
  std::string uri;  // the full request URI, as the page asked for it
  std::string method;
  HttpRequestHeaders headers;
};

enum class WebResourceContext {
  All = 0,
  Document,
  Stylesheet,
  Image,
  Media,
  Font,
  Script,
  XmlHttpRequest,
  Fetch,
  Other
};

class WebResourceRequestedEventArgs {
 public:
  WebResourceRequestedEventArgs(WebResourceRequest request, WebResourceContext context)
      : request_(std::move(request)), context_(context) {}
  [[nodiscard]] const WebResourceRequest& get_Request() const { return request_; }
  [[nodiscard]] WebResourceContext get_ResourceContext() const { return context_; }
  void put_Response(WebResourceResponse response) { response_ = std::move(response); }
  [[nodiscard]] const std::optional<WebResourceResponse>& get_Response() const { return response_; }

 private:
  WebResourceRequest request_;
  WebResourceContext context_;
  std::optional<WebResourceResponse> response_;
};

// ----- Other event arguments -----

class NavigationStartingEventArgs {
 public:
  explicit NavigationStartingEventArgs(std::string uri) : uri_(std::move(uri)) {}
  [[nodiscard]] const std::string& get_Uri() const { return uri_; }
  void put_Cancel(bool cancel) { cancel_ = cancel; }
  [[nodiscard]] bool get_Cancel() const { return cancel_; }

 private:
  std::string uri_;
  bool cancel_ = false;
};

// Who asked for a new window, as the runtime knows it (not as the page claims it).
struct NewWindowRequester {
  std::string source;               // the requesting document's address (or origin)
  bool isTopLevelDocument = false;  // the web view's own document, not a frame in it
  bool isUserInitiated = false;     // the request came with a user gesture
};

class NewWindowRequestedEventArgs {
 public:
  explicit NewWindowRequestedEventArgs(std::string uri, NewWindowRequester requester = {})
      : uri_(std::move(uri)), requester_(std::move(requester)) {}
  [[nodiscard]] const std::string& get_Uri() const { return uri_; }
  [[nodiscard]] bool get_IsUserInitiated() const { return requester_.isUserInitiated; }
  [[nodiscard]] const NewWindowRequester& get_Requester() const { return requester_; }
  void put_Handled(bool handled) { handled_ = handled; }
  [[nodiscard]] bool get_Handled() const { return handled_; }

 private:
  std::string uri_;
  NewWindowRequester requester_;
  bool handled_ = false;
};

enum class PermissionKind {
  Unknown,
  Microphone,
  Camera,
  Geolocation,
  Notifications,
  OtherSensors,
  ClipboardRead,
  MultipleAutomaticDownloads,
  FileReadWrite,
  Autoplay,
  LocalFonts,
  MidiSystemExclusive,
  WindowManagement
};
enum class PermissionState { Default = 0, Allow = 1, Deny = 2 };

class PermissionRequestedEventArgs {
 public:
  PermissionRequestedEventArgs(std::string uri, PermissionKind kind)
      : uri_(std::move(uri)), kind_(kind) {}
  [[nodiscard]] const std::string& get_Uri() const { return uri_; }
  [[nodiscard]] PermissionKind get_PermissionKind() const { return kind_; }
  void put_State(PermissionState state) { state_ = state; }
  [[nodiscard]] PermissionState get_State() const { return state_; }

 private:
  std::string uri_;
  PermissionKind kind_;
  PermissionState state_ = PermissionState::Default;
};

class WebMessageReceivedEventArgs {
 public:
  // message: the posted string, or nothing when the page posted something else.
  WebMessageReceivedEventArgs(std::string source, std::optional<std::string> message)
      : source_(std::move(source)), message_(std::move(message)) {}
  [[nodiscard]] const std::string& get_Source() const { return source_; }
  [[nodiscard]] const std::optional<std::string>& TryGetWebMessageAsString() const {
    return message_;
  }

 private:
  std::string source_;
  std::optional<std::string> message_;
};

// A call of the page's file-system handles to the host: the request as the page
// script wrote it and whether it came from the top-level document. The reply put on
// the arguments before the handler returns goes back to the calling document, with
// the reply file, when one is put, as a File the page reads straight from disk (or a
// "NotReadableError" failure when the runtime cannot hand it over).
class FileSystemCallReceivedEventArgs {
 public:
  FileSystemCallReceivedEventArgs(std::string source, bool fromTopDocument, std::string request)
      : source_(std::move(source)),
        fromTopDocument_(fromTopDocument),
        request_(std::move(request)) {}
  [[nodiscard]] const std::string& get_Source() const { return source_; }
  [[nodiscard]] bool get_IsFromTopDocument() const { return fromTopDocument_; }
  [[nodiscard]] const std::string& get_Request() const { return request_; }
  void put_Reply(std::string reply) { reply_ = std::move(reply); }
  [[nodiscard]] const std::string& get_Reply() const { return reply_; }
  // An absolute UTF-8 path the host may let the page read.
  void put_ReplyFile(std::string path) { replyFile_ = std::move(path); }
  [[nodiscard]] const std::string& get_ReplyFile() const { return replyFile_; }

 private:
  std::string source_;
  bool fromTopDocument_;
  std::string request_;
  std::string reply_;
  std::string replyFile_;
};

// A folder handed to the page as a directory handle: the runtime builds the page's
// handle object from it, and the handle's operations come back as file-system calls
// naming the grant.
struct WebFileSystemDirectoryHandle {
  std::string grant;  // the host's unguessable name for the folder
  std::string name;   // the handle's name in the page: the folder's own name
};

// Receives the body of a request the page sends to an upload address. Called on a
// thread of the runtime's, never on the main thread.
class RequestBodySink {
 public:
  virtual ~RequestBodySink() = default;
  // The length the body must have; a request with any other length is refused.
  [[nodiscard]] virtual uint64_t size() const = 0;
  // The bytes at `offset` of the body, in order; false refuses the rest.
  virtual bool write(uint64_t offset, std::span<const std::byte> bytes) = 0;
};

enum class KeyEventKind { KeyDown, KeyUp, SystemKeyDown, SystemKeyUp };
inline constexpr uint32_t kVirtualKeyF12 = 0x7B;

class AcceleratorKeyPressedEventArgs {
 public:
  AcceleratorKeyPressedEventArgs(KeyEventKind kind, uint32_t virtualKey)
      : kind_(kind), virtualKey_(virtualKey) {}
  [[nodiscard]] KeyEventKind get_KeyEventKind() const { return kind_; }
  [[nodiscard]] uint32_t get_VirtualKey() const { return virtualKey_; }
  void put_Handled(bool handled) { handled_ = handled; }
  [[nodiscard]] bool get_Handled() const { return handled_; }

 private:
  KeyEventKind kind_;
  uint32_t virtualKey_;
  bool handled_ = false;
};

enum class ProcessFailedKind { BrowserProcessExited, RenderProcessExited, ConnectionLost };

class ProcessFailedEventArgs {
 public:
  ProcessFailedEventArgs(ProcessFailedKind kind, std::string description)
      : kind_(kind), description_(std::move(description)) {}
  [[nodiscard]] ProcessFailedKind get_ProcessFailedKind() const { return kind_; }
  [[nodiscard]] const std::string& description() const { return description_; }

 private:
  ProcessFailedKind kind_;
  std::string description_;
};

template <typename Args>
using EventHandler = std::function<void(Args&)>;
using SimpleEventHandler = std::function<void()>;

// ----- Settings -----

class WebViewSettings {
 public:
  virtual ~WebViewSettings() = default;
  virtual void put_IsScriptEnabled(bool enabled) = 0;
  virtual void put_AreHostObjectsAllowed(bool allowed) = 0;
  virtual void put_AreDefaultScriptDialogsEnabled(bool enabled) = 0;
  virtual void put_IsWebMessageEnabled(bool enabled) = 0;
  virtual void put_IsZoomControlEnabled(bool enabled) = 0;
  virtual void put_AreDefaultContextMenusEnabled(bool enabled) = 0;
  virtual void put_AreDevToolsEnabled(bool enabled) = 0;
  virtual void put_AreBrowserAcceleratorKeysEnabled(bool enabled) = 0;
  virtual void put_IsReputationCheckingRequired(bool required) = 0;
  virtual void put_IsPinchZoomEnabled(bool enabled) = 0;
  virtual void put_IsSwipeNavigationEnabled(bool enabled) = 0;
};

// ----- Web view, controller, environment -----

class WebView {
 public:
  virtual ~WebView() = default;

  virtual WebViewSettings& get_Settings() = 0;
  virtual void Navigate(const std::string& uri) = 0;
  virtual void AddWebResourceRequestedFilter(const std::string& uriPattern,
                                             WebResourceContext context) = 0;
  virtual void PostWebMessageAsJson(const std::string& json) = 0;
  // Posts to the top-level document only; the message event's additionalObjects holds
  // one directory handle, or null, for each entry, in order.
  virtual void PostWebMessageAsJsonWithAdditionalObjects(
      const std::string& json,
      const std::vector<std::optional<WebFileSystemDirectoryHandle>>& objects) = 0;
  // A one-time address the page can POST exactly sink->size() bytes to; empty when the
  // runtime cannot receive them. The page learns the outcome from the response status.
  [[nodiscard]] virtual std::string OfferRequestBodyUpload(
      std::shared_ptr<RequestBodySink> sink) = 0;
  virtual void OpenDevToolsWindow() = 0;
  [[nodiscard]] virtual std::string get_DocumentTitle() const = 0;
  [[nodiscard]] virtual bool get_ContainsFullScreenElement() const = 0;

  virtual void add_WebResourceRequested(EventHandler<WebResourceRequestedEventArgs> handler) = 0;
  virtual void add_NavigationStarting(EventHandler<NavigationStartingEventArgs> handler) = 0;
  virtual void add_NewWindowRequested(EventHandler<NewWindowRequestedEventArgs> handler) = 0;
  virtual void add_PermissionRequested(EventHandler<PermissionRequestedEventArgs> handler) = 0;
  virtual void add_WebMessageReceived(EventHandler<WebMessageReceivedEventArgs> handler) = 0;
  virtual void add_FileSystemCallReceived(
      EventHandler<FileSystemCallReceivedEventArgs> handler) = 0;
  virtual void add_ProcessFailed(EventHandler<ProcessFailedEventArgs> handler) = 0;
  virtual void add_DocumentTitleChanged(SimpleEventHandler handler) = 0;
  virtual void add_ContainsFullScreenElementChanged(SimpleEventHandler handler) = 0;
  virtual void add_WindowCloseRequested(SimpleEventHandler handler) = 0;
  virtual void add_DOMContentLoaded(SimpleEventHandler handler) = 0;
};

enum class MoveFocusReason { Programmatic = 0, Next = 1, Previous = 2 };

class WebViewController {
 public:
  virtual ~WebViewController() = default;

  virtual WebView& get_CoreWebView2() = 0;
  virtual void put_Bounds(Rect bounds) = 0;
  virtual void put_IsVisible(bool visible) = 0;
  virtual void MoveFocus(MoveFocusReason reason) = 0;
  virtual void NotifyParentWindowPositionChanged() = 0;
  virtual void add_AcceleratorKeyPressed(EventHandler<AcceleratorKeyPressedEventArgs> handler) = 0;
};

struct ControllerOptions {
  bool allowHostInputProcessing = true;
  Rgb defaultBackgroundColor;  // always opaque
};

// The outcome of an asynchronous creation: ok, or what went wrong.
struct CreationResult {
  bool succeeded = false;
  std::string error;
};

using ControllerCompletedHandler =
    std::function<void(const CreationResult&, std::shared_ptr<WebViewController>)>;

class WebViewEnvironment {
 public:
  virtual ~WebViewEnvironment() = default;

  // parentWindow: the native handle of the window the web view is shown in
  // (0: no window, for a headless runtime).
  virtual void CreateCoreWebView2ControllerWithOptions(uint64_t parentWindow,
                                                       const ControllerOptions& options,
                                                       ControllerCompletedHandler handler) = 0;
  [[nodiscard]] virtual std::string get_BrowserVersionString() const = 0;

  // A web view whose input and cursor the host relays (visual hosting). Returns false,
  // calling nothing, when the runtime offers no such web view.
  virtual bool CreateCoreWebView2CompositionControllerWithOptions(
      uint64_t parentWindow, const ControllerOptions& options,
      // Taken by value: a runtime that offers such web views keeps the handler.
      // NOLINTNEXTLINE(performance-unnecessary-value-param)
      std::function<void(const CreationResult&, std::shared_ptr<CompositionController>)> handler) {
    static_cast<void>(parentWindow);
    static_cast<void>(options);
    static_cast<void>(handler);
    return false;
  }
};

struct EnvironmentOptions {
  std::string additionalBrowserArguments;
  std::string targetCompatibleBrowserVersion;
  // Where the runtime locator searches when no folder is given; overrides and policies
  // win over these. 1: least stable channel first.
  int32_t channelSearchKind = 0;
  // Bit n allows release channel n (0 stable ... 4 internal); 0: not chosen here.
  uint32_t releaseChannels = 0;
  // Microsoft Edge itself in place of the stable runtime.
  bool useEdgeView = false;
};

using EnvironmentCompletedHandler =
    std::function<void(const CreationResult&, std::shared_ptr<WebViewEnvironment>)>;

// The loader: finds a runtime and creates environments from it.
class WebViewRuntime {
 public:
  virtual ~WebViewRuntime() = default;

  // The version of the runtime that would be used; nothing when there is none.
  // browserExecutableFolder: a fixed runtime folder, or nothing for an installed one.
  [[nodiscard]] virtual std::optional<std::string> GetAvailableBrowserVersionString(
      const std::optional<std::string>& browserExecutableFolder) = 0;

  virtual void CreateEnvironmentWithOptions(
      const std::optional<std::string>& browserExecutableFolder, const std::string& userDataFolder,
      const EnvironmentOptions& options, EnvironmentCompletedHandler handler) = 0;
};

}  // namespace tavrelle::webview
