#include "platform/linux/disc_facts.h"

#include <algorithm>

namespace noru::platform::linux_cd {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isUpperLetter(char c) {
  return c >= 'A' && c <= 'Z';
}

}  // namespace

bool CDText::empty() const {
  return !albumTitle && !albumPerformer && trackTitles.empty() && trackPerformers.empty();
}

std::optional<std::string> validMCN(std::string_view text) {
  if (text.size() != 13 || !std::ranges::all_of(text, isDigit) ||
      std::ranges::all_of(text, [](char c) { return c == '0'; })) {
    return std::nullopt;
  }
  // EAN-13: the digits weigh 1, 3, 1, 3, ... from the left; with the check digit the sum is a
  // multiple of 10.
  int sum = 0;
  for (std::size_t index = 0; index < text.size(); ++index) {
    sum += (text[index] - '0') * (index % 2 == 0 ? 1 : 3);
  }
  return sum % 10 == 0 ? std::optional(std::string(text)) : std::nullopt;
}

std::optional<std::string> validISRC(std::string_view text) {
  if (text.size() != 12) {
    return std::nullopt;
  }
  const auto country = text.substr(0, 2);
  const auto registrant = text.substr(2, 3);
  const auto number = text.substr(5);
  if (!std::ranges::all_of(country, isUpperLetter) ||
      !std::ranges::all_of(registrant, [](char c) { return isUpperLetter(c) || isDigit(c); }) ||
      !std::ranges::all_of(number, isDigit)) {
    return std::nullopt;
  }
  return std::string(text);
}

}  // namespace noru::platform::linux_cd
