#include "platform/linux/udev_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "platform/linux/drive_status.h"
#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_handles.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/main_queue.h"
#include "platform/tasks/runtime.h"

namespace noru::platform::linux_cd {
namespace {

using platform::log::diagnostic;

class InactiveSubscription final : public EventSubscription {};

// udev answers EAGAIN when nothing was waiting after all, or what came failed the filter.
bool nothingWaiting(int error) {
  return error == 0 || error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

class UdevEventStream final : public DeviceEventStream {
 public:
  UdevEventStream(UdevHandle context, UdevMonitorHandle monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}

  int descriptor() const override { return udev_monitor_get_fd(monitor_.get()); }

  StreamReceipt receive() override {
    errno = 0;
    UdevDeviceHandle device(udev_monitor_receive_device(monitor_.get()));
    if (device) {
      return {factsOf(device.get())};
    }
    const int error = errno;
    return {std::nullopt, nothingWaiting(error) ? 0 : error};
  }

 private:
  UdevHandle context_;
  UdevMonitorHandle monitor_;
};

// udev's netlink monitor of block disks; nothing where udev cannot be reached.
std::unique_ptr<DeviceEventStream> openUdevEventStream() {
  UdevHandle context(udev_new());
  if (!context) {
    return nullptr;
  }
  UdevMonitorHandle monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "block", "disk") < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    return nullptr;
  }
  return std::make_unique<UdevEventStream>(std::move(context), std::move(monitor));
}

std::string secondsText(std::chrono::milliseconds delay) {
  return platform::log::oneDecimal(static_cast<double>(delay.count()) / 1000.0) + " s";
}

class StreamSubscription final : public EventSubscription {
 public:
  StreamSubscription(std::unique_ptr<DeviceEventStream> stream, OpenDeviceEventStream openStream,
                     ReopenBackoff backoff, int wakeDescriptor, SystemCalls& calls,
                     DeviceEventHandler onEvent)
      : stream_(std::move(stream)),
        openStream_(std::move(openStream)),
        backoff_(backoff),
        delay_(backoff.first),
        wakeDescriptor_(wakeDescriptor),
        calls_(calls),
        queue_(tasks::mainQueue()),
        delivery_(std::make_shared<Delivery>(std::move(onEvent))),
        thread_([this] { run(); }) {}

  ~StreamSubscription() override {
    delivery_->active.store(false, std::memory_order_release);
    const std::uint64_t one = 1;
    while (::write(wakeDescriptor_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    ::close(wakeDescriptor_);
  }

  StreamSubscription(const StreamSubscription&) = delete;
  StreamSubscription& operator=(const StreamSubscription&) = delete;

 private:
  // Shared with every event on its way to the main queue, so that an event delivered after
  // the subscription ended finds it inactive instead of a dangling handler.
  struct Delivery {
    explicit Delivery(DeviceEventHandler handler) : handler(std::move(handler)) {}
    std::atomic<bool> active{true};
    DeviceEventHandler handler;
  };

  void run() {
    for (;;) {
      pollfd watched[2] = {{stream_->descriptor(), POLLIN, 0}, {wakeDescriptor_, POLLIN, 0}};
      std::string failure;
      if (::poll(watched, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        failure = "poll failed errno=" + std::to_string(errno);
      } else if (watched[1].revents != 0) {
        return;
      } else if (watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        failure = "the monitor socket reported an error or hang-up";
      } else if (watched[0].revents & POLLIN) {
        failure = receiveAndForward();
      }
      if (!failure.empty() && !reopen(failure)) {
        return;
      }
    }
  }

  // What broke the stream, if it broke; empty otherwise.
  std::string receiveAndForward() {
    auto receipt = stream_->receive();
    if (receipt.facts) {
      delay_ = backoff_.first;
      forward(*receipt.facts);
    }
    if (receipt.error == 0) {
      return {};
    }
    return "receive failed errno=" + std::to_string(receipt.error);
  }

  // Closes the broken stream and opens a new one once the back-off has passed, which doubles
  // for the next failure. False when the subscription ends meanwhile.
  bool reopen(const std::string& failure) {
    diagnostic("UdevMonitor: ", failure, " \u2014 reopening the monitor in ", secondsText(delay_));
    stream_.reset();
    for (;;) {
      if (!pauseFor(delay_)) {
        return false;
      }
      delay_ = std::min(delay_ * 2, backoff_.longest);
      stream_ = openStream_();
      if (stream_) {
        diagnostic("UdevMonitor: monitor reopened");
        return true;
      }
      diagnostic("UdevMonitor: could not reopen the monitor \u2014 next try in ",
                 secondsText(delay_));
    }
  }

  // Waits `delay` unless the subscription ends first; false when it ends.
  bool pauseFor(std::chrono::milliseconds delay) {
    const auto until = std::chrono::steady_clock::now() + delay;
    pollfd wake{wakeDescriptor_, POLLIN, 0};
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        return true;
      }
      const int ready = ::poll(&wake, 1, static_cast<int>(left.count()));
      if (ready > 0) {
        return false;
      }
      if (ready < 0 && errno != EINTR) {
        return true;
      }
    }
  }

  void forward(const UdevDeviceFacts& facts) {
    auto event = deviceEventFor(facts, calls_);
    if (!event) {
      return;
    }
    queue_.post([delivery = delivery_, event = std::move(*event)] {
      if (delivery->active.load(std::memory_order_acquire)) {
        delivery->handler(event);
      }
    });
  }

  std::unique_ptr<DeviceEventStream> stream_;  // the thread's own once it runs
  OpenDeviceEventStream openStream_;
  ReopenBackoff backoff_;
  std::chrono::milliseconds delay_;
  int wakeDescriptor_;
  SystemCalls& calls_;
  tasks::MainQueue& queue_;
  std::shared_ptr<Delivery> delivery_;
  std::thread thread_;  // last: it starts once everything it uses is in place
};

}  // namespace

std::optional<DeviceEventKind> eventKindOfAction(std::string_view action) {
  if (action == "add") {
    return DeviceEventKind::appeared;
  }
  if (action == "remove") {
    return DeviceEventKind::disappeared;
  }
  if (action == "change") {
    return DeviceEventKind::statusChanged;
  }
  return std::nullopt;
}

std::optional<DeviceEvent> deviceEventFor(const UdevDeviceFacts& facts, SystemCalls& calls) {
  const auto kind = eventKindOfAction(facts.action);
  if (!kind || !isOpticalDisk(facts)) {
    return std::nullopt;
  }
  std::optional<std::string> mediaState;
  const auto node = deviceNodeOf(facts);
  if (*kind != DeviceEventKind::disappeared && !node.empty()) {
    mediaState = readMediaState(calls, node);
  }
  return DeviceEvent{*kind, describeOpticalDevice(facts, std::move(mediaState))};
}

std::unique_ptr<EventSubscription> watchDeviceEventStream(SystemCalls& calls,
                                                          DeviceEventHandler onEvent,
                                                          OpenDeviceEventStream openStream,
                                                          ReopenBackoff backoff) {
  auto stream = openStream();
  if (!stream) {
    return std::make_unique<InactiveSubscription>();
  }
  const int wakeDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeDescriptor < 0) {
    return std::make_unique<InactiveSubscription>();
  }
  return std::make_unique<StreamSubscription>(std::move(stream), std::move(openStream), backoff,
                                              wakeDescriptor, calls, std::move(onEvent));
}

std::unique_ptr<EventSubscription> watchUdevEvents(SystemCalls& calls, DeviceEventHandler onEvent) {
  return watchDeviceEventStream(calls, std::move(onEvent), openUdevEventStream);
}

}  // namespace noru::platform::linux_cd
