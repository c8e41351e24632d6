#include "platform/chromium/BrowserStartup.h"

#include "platform/chromium/BrowserConnection.h"
#include "platform/chromium/ChromiumController.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/ChromiumWebView.h"
#include "platform/chromium/DevToolsClient.h"
#include "platform/BrowserWindowEmbedder.h"
#include "platform/IoEventLoop.h"

namespace tavrelle::chromium {

namespace {

class StartupSequence : public std::enable_shared_from_this<StartupSequence> {
 public:
  StartupSequence(IoEventLoop& loop, BrowserStartup::Request request,
                  webview::ControllerCompletedHandler onCompleted)
      : loop_(loop), request_(std::move(request)), onCompleted_(std::move(onCompleted)) {}

  void start() {
    if (request_.embedder != nullptr) {
      // Before the launch, so that the window's creation is seen before it is mapped.
      window_ = request_.embedder->expectBrowserWindow(
          request_.parentWindow, request_.launch.windowWidth, request_.launch.windowHeight);
    }
    std::string error;
    browser_ = BrowserConnection::launch(loop_, request_.launch, error);
    if (!browser_) {
      fail("the browser did not start: " + error);
      return;
    }
    std::weak_ptr<StartupSequence> weak = weak_from_this();
    timer_ = loop_.addTimer(
        std::chrono::duration_cast<std::chrono::milliseconds>(BrowserStartup::kStartupTimeout),
        false, [weak] {
          if (auto self = weak.lock()) {
            self->timer_.reset();
            self->fail(self->webView_ ? "the browser did not accept the page setup in time"
                                      : "the browser showed no app page in time");
          }
        });
    browser_->setFailureHandler([weak](const BrowserConnection::Failure& failure) {
      if (auto self = weak.lock())
        self->fail("the browser ended during start-up: " + failure.description);
    });
    client().on("Target.targetCreated", [weak](const Json& params, const std::string& sessionId) {
      auto self = weak.lock();
      if (self && sessionId.empty())
        self->onTargetCreated(params.value("targetInfo", Json::object()));
    });
    client().send("Target.setDiscoverTargets", {{"discover", true}}, {},
                  [weak](const DevToolsReply& reply) {
                    auto self = weak.lock();
                    if (self && !reply.ok)
                      self->fail("the browser's targets are hidden: " + reply.errorMessage);
                  });
    self_ = shared_from_this();
  }

 private:
  DevToolsClient& client() { return webView_ ? webView_->client() : browser_->client(); }

  void onTargetCreated(const Json& targetInfo) {
    if (attaching_ || targetInfo.value("type", std::string()) != "page") return;
    if (!quirks::isBlankAppPage(targetInfo.value("url", std::string()))) return;
    attaching_ = true;
    std::string targetId = targetInfo.value("targetId", std::string());
    std::weak_ptr<StartupSequence> weak = weak_from_this();
    client().send("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, {},
                  [weak, targetId](const DevToolsReply& reply) {
                    auto self = weak.lock();
                    if (!self) return;
                    if (!reply.ok) {
                      self->fail("the app page could not be attached: " + reply.errorMessage);
                      return;
                    }
                    self->prepare(ChromiumWebView::Target{
                        targetId, reply.result.value("sessionId", std::string())});
                  });
  }

  void prepare(ChromiumWebView::Target page) {
    webView_ = std::make_unique<ChromiumWebView>(loop_, std::move(browser_), std::move(page),
                                                 request_.launch.background);
    std::weak_ptr<StartupSequence> weak = weak_from_this();
    webView_->setUp([weak](const std::optional<std::string>& error) {
      auto self = weak.lock();
      if (!self) return;
      if (error) {
        self->fail(*error);
      } else {
        self->succeed();
      }
    });
  }

  void succeed() {
    cancelTimer();
    auto controller = std::make_shared<ChromiumController>(std::move(window_), std::move(webView_));
    complete(webview::CreationResult{true, {}}, std::move(controller));
  }

  void fail(std::string reason) {
    cancelTimer();
    if (!onCompleted_) return;
    // This may run inside a callback of the browser's connection: the browser is
    // closed (in order) from the loop, before the handler hears of the failure.
    auto leftovers = std::make_shared<Leftovers>(
        Leftovers{std::move(webView_), std::move(browser_), std::move(window_)});
    auto handler = std::move(onCompleted_);
    onCompleted_ = nullptr;
    loop_.post([handler, leftovers, result = webview::CreationResult{false, std::move(reason)}] {
      leftovers->webView.reset();
      leftovers->browser.reset();
      leftovers->window.reset();
      handler(result, nullptr);
    });
    auto keep = std::move(self_);
  }

  struct Leftovers {
    std::unique_ptr<ChromiumWebView> webView;
    std::unique_ptr<BrowserConnection> browser;
    std::unique_ptr<EmbeddedBrowserWindow> window;
  };

  void complete(webview::CreationResult result,
                std::shared_ptr<webview::WebViewController> controller) {
    if (!onCompleted_) return;
    auto handler = std::move(onCompleted_);
    onCompleted_ = nullptr;
    loop_.post([handler, result = std::move(result), controller = std::move(controller)] {
      handler(result, controller);
    });
    // The last reference may be this one: let go of it only after the post.
    auto keep = std::move(self_);
  }

  void cancelTimer() {
    if (timer_) loop_.cancelTimer(*timer_);
    timer_.reset();
  }

  IoEventLoop& loop_;
  BrowserStartup::Request request_;
  webview::ControllerCompletedHandler onCompleted_;
  std::unique_ptr<EmbeddedBrowserWindow> window_;
  std::unique_ptr<BrowserConnection> browser_;
  std::unique_ptr<ChromiumWebView> webView_;
  std::optional<IoEventLoop::TimerId> timer_;
  bool attaching_ = false;
  std::shared_ptr<StartupSequence> self_;
};

}  // namespace

void BrowserStartup::begin(IoEventLoop& loop, Request request,
                           webview::ControllerCompletedHandler onCompleted) {
  auto sequence =
      std::make_shared<StartupSequence>(loop, std::move(request), std::move(onCompleted));
  sequence->start();
}

}  // namespace tavrelle::chromium
