#include "platform/chromium/DevToolsPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/NulFrameSplitter.h"

namespace tavrelle::chromium {

namespace {

constexpr size_t kReadChunk = 1 << 20;
// Reads per turn of the main loop: a long message from the browser never holds up
// the window's own events for long.
constexpr int kChunksPerTurn = 4;

// Writing to a pipe whose reader is gone raises SIGPIPE, which would end the host.
// The writer thread keeps it blocked and takes back any pending one after EPIPE.
void blockSigpipeOnThisThread() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void consumePendingSigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  timespec zero{};
  while (sigtimedwait(&set, nullptr, &zero) == SIGPIPE) {
  }
}

// Waits until fd is ready for `events` or stopFd is signalled. False when stopping
// or when the descriptor failed.
bool waitReady(int fd, short events, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    return true;
  }
}

}  // namespace

DevToolsPipe::DevToolsPipe(IoEventLoop& loop, int toBrowserFd, int fromBrowserFd)
    : loop_(loop),
      toBrowserFd_(toBrowserFd),
      fromBrowserFd_(fromBrowserFd),
      stopFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      splitter_(kLargestMessageFromBrowser),
      readBuffer_(kReadChunk),
      delivery_(std::make_shared<Delivery>()) {
  if (stopFd_ < 0) {
    close(toBrowserFd_);
    close(fromBrowserFd_);
    throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  fcntl(toBrowserFd_, F_SETFL, fcntl(toBrowserFd_, F_GETFL) | O_NONBLOCK);
  fcntl(fromBrowserFd_, F_SETFL, fcntl(fromBrowserFd_, F_GETFL) | O_NONBLOCK);
  loop_.watchReadable(fromBrowserFd_, [this] { onReadable(); });
  writer_ = std::thread([this] { writeLoop(); });
}

DevToolsPipe::~DevToolsPipe() {
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
  }
  queueChanged_.notify_all();
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
  loop_.unwatch(fromBrowserFd_);
  writer_.join();
  delivery_.reset();
  close(toBrowserFd_);
  close(fromBrowserFd_);
  close(stopFd_);
}

void DevToolsPipe::setListener(Listener* listener) { delivery_->listener = listener; }

void DevToolsPipe::send(OutgoingMessage message) {
  {
    std::lock_guard lock(queueMutex_);
    if (stopping_) return;
    bool first = queue_.empty() && !writerBusy_;
    if (!(first && message.cheap)) {
      queue_.push_back(std::move(message));
      queueChanged_.notify_one();
      return;
    }
    writerBusy_ = true;
  }
  // Written here, without waking the writer thread: a command's reply then comes back
  // sooner. What the pipe does not take at once is left to the writer thread.
  bool whole = writeAtOnce(message);
  std::lock_guard lock(queueMutex_);
  writerBusy_ = false;
  if (!whole) queue_.push_front(std::move(message));
  if (!queue_.empty()) queueChanged_.notify_one();
}

// Writes a cheap message without blocking. False when only part of it went out; the
// message then holds the rest.
bool DevToolsPipe::writeAtOnce(OutgoingMessage& message) {
  std::string text = message.produce();
  text.push_back('\0');
  sigset_t sigpipe, previous;
  sigemptyset(&sigpipe);
  sigaddset(&sigpipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &sigpipe, &previous);
  size_t written = 0;
  while (written < text.size()) {
    ssize_t put = write(toBrowserFd_, text.data() + written, text.size() - written);
    if (put > 0) {
      written += static_cast<size_t>(put);
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else {
      if (put < 0 && errno == EPIPE) consumePendingSigpipe();
      break;  // full or failed: the writer thread goes on, and reports a failure
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (written == text.size()) return true;
  // The writer thread writes the rest and then the NUL; when only the NUL is missing,
  // the rest is empty.
  text.pop_back();
  auto rest = std::make_shared<std::string>(text.substr(std::min(written, text.size())));
  message.produce = [rest] { return *rest; };
  message.cheap = false;
  return false;
}

void DevToolsPipe::onReadable() {
  // Whatever a listener does (closing the connection destroys this pipe), what is read
  // here is parsed first and handed over afterwards, in the browser's order, each only
  // while the pipe still stands.
  std::vector<Arrival> arrivals;
  std::weak_ptr<Delivery> weak = delivery_;
  std::optional<std::string> closedReason;
  for (int chunk = 0; chunk < kChunksPerTurn; ++chunk) {
    ssize_t got = read(fromBrowserFd_, readBuffer_.data(), readBuffer_.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) break;
    if (got <= 0) {
      closedReason = got == 0
                         ? "the browser closed its end of the DevTools pipe"
                         : std::string("reading the DevTools pipe failed: ") + std::strerror(errno);
      loop_.unwatch(fromBrowserFd_);
      break;
    }
    splitter_.feed(
        {readBuffer_.data(), static_cast<size_t>(got)},
        [&arrivals](std::string&& text) {
          auto message = nlohmann::json::parse(text, nullptr, false);
          if (message.is_discarded() || !message.is_object()) {
            std::fprintf(stderr, "tavrelle: dropped a malformed DevTools message (%zu bytes)\n",
                         text.size());
            return;
          }
          arrivals.push_back([message = std::move(message)](Listener& listener) mutable {
            listener.onMessageReceived(std::move(message));
          });
        },
        [&arrivals](std::string_view start, size_t length) {
          if (auto rejection = oversizedArrival(start, length)) arrivals.push_back(*rejection);
        });
    if (static_cast<size_t>(got) < readBuffer_.size()) break;  // the pipe is drained
  }
  for (size_t i = 0; i < arrivals.size(); ++i) {
    auto delivery = weak.lock();
    if (!delivery || !delivery->listener || delivery->closedReported) return;
    try {
      arrivals[i](*delivery->listener);
    } catch (...) {
      // The loop reports the failure; what came after it still arrives, in order.
      for (size_t rest = i + 1; rest < arrivals.size(); ++rest)
        postArrival(std::move(arrivals[rest]));
      if (closedReason) postClosed(std::move(*closedReason));
      throw;
    }
  }
  if (auto delivery = weak.lock(); delivery && closedReason) reportClosed(*delivery, *closedReason);
}

// The browser writes a reply's id first: a skipped reply still fails its command.
std::optional<DevToolsPipe::Arrival> DevToolsPipe::oversizedArrival(std::string_view start,
                                                                    size_t length) {
  std::string reason = "the browser sent a message of " + std::to_string(length) +
                       " bytes, more than the host reads";
  constexpr std::string_view kReplyStart = "{\"id\":";
  uint64_t id = 0;
  if (start.starts_with(kReplyStart)) {
    std::string_view digits = start.substr(kReplyStart.size());
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (error == std::errc() && end != digits.data()) {
      return [id, reason](Listener& listener) { listener.onMessageRejected(id, reason); };
    }
  }
  std::fprintf(stderr, "tavrelle: dropped a DevTools message: %s\n", reason.c_str());
  return std::nullopt;
}

void DevToolsPipe::writeLoop() {
  blockSigpipeOnThisThread();
  for (;;) {
    OutgoingMessage next;
    {
      std::unique_lock lock(queueMutex_);
      queueChanged_.wait(lock, [this] { return stopping_ || (!queue_.empty() && !writerBusy_); });
      if (stopping_) return;
      next = std::move(queue_.front());
      queue_.pop_front();
      writerBusy_ = true;
    }
    std::string text = next.produce();
    bool fits = text.size() <= quirks::kLargestMessageToBrowser;
    if (!fits) {
      postRejected(next.id, "the message of " + std::to_string(text.size()) +
                                " bytes exceeds what the browser accepts");
    } else if (!writeAll(text.data(), text.size()) || !writeAll("", 1)) {
      return;
    }
    std::lock_guard lock(queueMutex_);
    writerBusy_ = false;
  }
}

bool DevToolsPipe::writeAll(const char* data, size_t size) {
  while (size > 0) {
    ssize_t put = write(toBrowserFd_, data, size);
    if (put > 0) {
      data += put;
      size -= static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno == EAGAIN) {
      if (!waitReady(toBrowserFd_, POLLOUT, stopFd_)) return false;
      continue;
    }
    int error = errno;
    if (error == EPIPE) consumePendingSigpipe();
    postClosed(std::string("writing to the DevTools pipe failed: ") + std::strerror(error));
    return false;
  }
  return true;
}

void DevToolsPipe::postArrival(Arrival arrival) {
  std::weak_ptr<Delivery> weak = delivery_;
  loop_.post([weak, arrival = std::move(arrival)]() mutable {
    auto delivery = weak.lock();
    if (delivery && delivery->listener && !delivery->closedReported) arrival(*delivery->listener);
  });
}

void DevToolsPipe::postRejected(uint64_t id, std::string reason) {
  std::weak_ptr<Delivery> weak = delivery_;
  loop_.post([weak, id, reason = std::move(reason)] {
    auto delivery = weak.lock();
    if (delivery && delivery->listener) delivery->listener->onMessageRejected(id, reason);
  });
}

void DevToolsPipe::postClosed(std::string reason) {
  std::weak_ptr<Delivery> weak = delivery_;
  loop_.post([weak, reason = std::move(reason)] {
    if (auto delivery = weak.lock()) reportClosed(*delivery, reason);
  });
}

void DevToolsPipe::reportClosed(Delivery& delivery, const std::string& reason) {
  if (delivery.closedReported) return;
  delivery.closedReported = true;
  if (delivery.listener) delivery.listener->onTransportClosed(reason);
}

}  // namespace tavrelle::chromium
