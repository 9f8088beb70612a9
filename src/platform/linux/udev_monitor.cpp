#include "platform/linux/udev_monitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <thread>
#include <utility>

#include "platform/linux/drive_status.h"
#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_handles.h"
#include "platform/tasks/main_queue.h"
#include "platform/tasks/runtime.h"

namespace noru::platform::linux_cd {
namespace {

class InactiveSubscription final : public EventSubscription {};

class UdevMonitorSubscription final : public EventSubscription {
 public:
  UdevMonitorSubscription(UdevHandle context, UdevMonitorHandle monitor, int wakeDescriptor,
                          SystemCalls& calls, DeviceEventHandler onEvent)
      : context_(std::move(context)),
        monitor_(std::move(monitor)),
        wakeDescriptor_(wakeDescriptor),
        calls_(calls),
        queue_(tasks::mainQueue()),
        delivery_(std::make_shared<Delivery>(std::move(onEvent))),
        thread_([this] { run(); }) {}

  ~UdevMonitorSubscription() override {
    delivery_->active.store(false, std::memory_order_release);
    const std::uint64_t one = 1;
    while (::write(wakeDescriptor_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    ::close(wakeDescriptor_);
  }

  UdevMonitorSubscription(const UdevMonitorSubscription&) = delete;
  UdevMonitorSubscription& operator=(const UdevMonitorSubscription&) = delete;

 private:
  // Shared with every event on its way to the main queue, so that an event delivered after
  // the subscription ended finds it inactive instead of a dangling handler.
  struct Delivery {
    explicit Delivery(DeviceEventHandler handler) : handler(std::move(handler)) {}
    std::atomic<bool> active{true};
    DeviceEventHandler handler;
  };

  void run() {
    pollfd watched[2] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0},
                         {wakeDescriptor_, POLLIN, 0}};
    for (;;) {
      if (::poll(watched, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;
      }
      if (watched[1].revents != 0 || (watched[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
        return;
      }
      if (watched[0].revents & POLLIN) {
        UdevDeviceHandle device(udev_monitor_receive_device(monitor_.get()));
        if (device) {
          const auto facts = factsOf(device.get());
          device.reset();
          forward(facts);
        }
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

  UdevHandle context_;
  UdevMonitorHandle monitor_;
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

std::unique_ptr<EventSubscription> watchUdevEvents(SystemCalls& calls, DeviceEventHandler onEvent) {
  UdevHandle context(udev_new());
  if (!context) {
    return std::make_unique<InactiveSubscription>();
  }
  UdevMonitorHandle monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "block", "disk") < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    return std::make_unique<InactiveSubscription>();
  }
  const int wakeDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeDescriptor < 0) {
    return std::make_unique<InactiveSubscription>();
  }
  return std::make_unique<UdevMonitorSubscription>(std::move(context), std::move(monitor),
                                                   wakeDescriptor, calls, std::move(onEvent));
}

}  // namespace noru::platform::linux_cd
