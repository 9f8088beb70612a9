#include "rip/track_file_name.h"

#include <cstdio>
#include <string_view>

namespace noru::rip {
namespace {

constexpr std::string_view kForbidden = "/\\:*?\"<>|";

bool isContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Tab and the Unicode space separators (category Zs); line breaks are not among them.
bool isBlank(char32_t c) {
  return c == U'\t' || c == U' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the UTF-8 character that fills `bytes` exactly; nullopt if it is not one.
std::optional<char32_t> decodeOne(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes.front());
  std::size_t length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (bytes.size() != length) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!isContinuationByte(byte)) {
      return std::nullopt;
    }
    value = (value << 6) | (byte & 0x3F);
  }
  return value;
}

std::size_t lengthOfCharacterAt(std::string_view text, std::size_t index) {
  std::size_t end = index + 1;
  while (end < text.size() && isContinuationByte(static_cast<unsigned char>(text[end]))) {
    ++end;
  }
  return end - index;
}

std::size_t startOfLastCharacter(std::string_view text) {
  std::size_t start = text.size() - 1;
  while (start > 0 && isContinuationByte(static_cast<unsigned char>(text[start]))) {
    --start;
  }
  return start;
}

// "07", or "2-07" for a track of a release's second disc or a later one.
std::string numberText(std::int64_t disc, std::int64_t number) {
  char buffer[48];
  if (disc > 1) {
    std::snprintf(buffer, sizeof buffer, "%lld-%02lld", static_cast<long long>(disc),
                  static_cast<long long>(number));
  } else {
    std::snprintf(buffer, sizeof buffer, "%02lld", static_cast<long long>(number));
  }
  return buffer;
}

}  // namespace

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty()) {
    const auto character = text.substr(0, lengthOfCharacterAt(text, 0));
    const auto decoded = decodeOne(character);
    if (!decoded || !isBlank(*decoded)) {
      break;
    }
    text.remove_prefix(character.size());
  }
  while (!text.empty()) {
    const auto character = text.substr(startOfLastCharacter(text));
    const auto decoded = decodeOne(character);
    if (!decoded || !isBlank(*decoded)) {
      break;
    }
    text.remove_suffix(character.size());
  }
  return text;
}

std::string_view cutAtCharacterBoundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) {
    return text;
  }
  std::size_t cut = limit;
  while (cut > 0 && isContinuationByte(static_cast<unsigned char>(text[cut]))) {
    --cut;
  }
  return text.substr(0, cut);
}

std::string trackFileName(std::int64_t number, const std::optional<std::string>& title,
                          std::string_view extension, std::int64_t disc) {
  if (!title) {
    return "Track " + numberText(disc, number) + std::string(extension);
  }
  std::string cleaned;
  cleaned.reserve(title->size());
  for (char c : *title) {
    if (c == '\0') {
      continue;
    }
    cleaned += kForbidden.find(c) == std::string_view::npos ? c : '_';
  }
  const std::string prefix = numberText(disc, number) + " ";
  const std::size_t room = maxFileNameBytes - prefix.size() - extension.size();
  // Trimmed again after the cut, so that a shortened name never ends in a blank.
  const auto kept = trimBlanks(cutAtCharacterBoundary(trimBlanks(cleaned), room));
  return prefix + std::string(kept) + std::string(extension);
}

}  // namespace noru::rip
