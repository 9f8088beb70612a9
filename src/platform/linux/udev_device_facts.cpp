#include "platform/linux/udev_device_facts.h"

#include <string_view>
#include <tuple>

#include "platform/linux/device_node.h"

namespace noru::platform::linux_cd {
namespace {

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kBlank);
  return text.substr(first, last - first + 1);
}

std::string_view firstNonEmpty(const std::optional<std::string>& preferred,
                               const std::optional<std::string>& fallback) {
  if (preferred && !trimmed(*preferred).empty()) {
    return trimmed(*preferred);
  }
  return fallback ? trimmed(*fallback) : std::string_view();
}

}  // namespace

bool isOpticalDisk(const UdevDeviceFacts& facts) {
  if (facts.devtype != "disk") {
    return false;
  }
  if (facts.cdromProperty) {
    return *facts.cdromProperty == "1";
  }
  return facts.scsiTypeAttribute && trimmed(*facts.scsiTypeAttribute) == "5";
}

std::optional<std::string> productNameOf(const UdevDeviceFacts& facts) {
  const auto vendor = firstNonEmpty(facts.vendorAttribute, facts.vendorProperty);
  const auto model = firstNonEmpty(facts.modelAttribute, facts.modelProperty);
  if (vendor.empty() && model.empty()) {
    return std::nullopt;
  }
  if (vendor.empty() || model.empty()) {
    return std::string(vendor.empty() ? model : vendor);
  }
  return std::string(vendor) + " " + std::string(model);
}

OpticalDevice describeOpticalDevice(const UdevDeviceFacts& facts,
                                    std::optional<std::string> mediaState) {
  OpticalDevice device;
  device.productName = productNameOf(facts);
  if (!facts.syspath.empty()) {
    device.registryPath = facts.syspath;
  }
  device.mediaState = std::move(mediaState);
  for (auto [part, preferred, fallback] :
       {std::tuple{&device.vendor, &facts.vendorAttribute, &facts.vendorProperty},
        std::tuple{&device.model, &facts.modelAttribute, &facts.modelProperty}}) {
    if (const auto text = firstNonEmpty(*preferred, *fallback); !text.empty()) {
      *part = std::string(text);
    }
  }
  if (!facts.sysname.empty()) {
    device.bsdName = facts.sysname;
  }
  return device;
}

std::string deviceNodeOf(const UdevDeviceFacts& facts) {
  if (!facts.devnode.empty()) {
    return facts.devnode;
  }
  return isPlainDeviceName(facts.sysname) ? deviceNodePath(facts.sysname) : std::string();
}

}  // namespace noru::platform::linux_cd
