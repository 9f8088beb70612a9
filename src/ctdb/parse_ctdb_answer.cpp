#include "ctdb/parse_ctdb_answer.h"

#include <openssl/evp.h>
#include <pugixml.hpp>

#include <charconv>
#include <cstring>

namespace noru::ctdb {
namespace {

template <class Number>
std::optional<Number> number(std::string_view text, int base = 10) {
  Number value{};
  const auto* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> crcOf(std::string_view text) {
  return text.size() == 8 ? number<std::uint32_t>(text, 16) : std::nullopt;
}

std::optional<std::vector<std::uint32_t>> crcsOf(std::string_view text) {
  std::vector<std::uint32_t> crcs;
  while (!text.empty()) {
    const auto space = text.find(' ');
    const auto crc = crcOf(text.substr(0, space));
    if (!crc) {
      return std::nullopt;
    }
    crcs.push_back(*crc);
    text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
  }
  return crcs;
}

// Standard base64 with its padding; nothing for anything else.
std::optional<std::vector<std::uint8_t>> base64(std::string_view text) {
  if (text.size() % 4 != 0 || text.find_first_of(" \t\r\n") != std::string_view::npos) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(text.size() / 4 * 3);
  const int decoded =
      EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size()));
  if (decoded < 0) {
    return std::nullopt;
  }
  // The decoder counts the padding as bytes.
  const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  bytes.resize(static_cast<std::size_t>(decoded) - padding);
  return bytes;
}

std::optional<std::vector<std::uint16_t>> wordsOf(std::string_view text, int count) {
  const auto bytes = base64(text);
  if (!bytes || bytes->size() != 2 * static_cast<std::size_t>(count)) {
    return std::nullopt;
  }
  std::vector<std::uint16_t> words;
  for (std::size_t at = 0; at < bytes->size(); at += 2) {
    words.push_back(static_cast<std::uint16_t>((*bytes)[at] | (*bytes)[at + 1] << 8));
  }
  return words;
}

std::optional<CTDBEntry> entryOf(const pugi::xml_node& node) {
  const auto text = [&](const char* name) {
    return std::string_view(node.attribute(name).value());
  };
  const auto crc = crcOf(text("crc32"));
  const auto confidence = number<int>(text("confidence"));
  const auto trackCRCs = crcsOf(text("trackcrcs"));
  const auto npar = number<int>(text("npar"));
  const auto stride = number<int>(text("stride"));
  if (!crc || !confidence || *confidence < 0 || !trackCRCs || trackCRCs->empty() || !npar ||
      *npar <= 0 || *npar > 64 || !stride || *stride <= 0 || text("id").empty()) {
    return std::nullopt;
  }
  CTDBEntry entry{.id = std::string(text("id")),
                  .crc32 = *crc,
                  .confidence = *confidence,
                  .trackCRCs = *trackCRCs,
                  .toc = std::string(text("toc")),
                  .npar = *npar,
                  .stride = *stride};
  if (!text("hasparity").empty()) {
    const auto syndrome = wordsOf(text("syndrome"), *npar);
    if (!syndrome) {
      return std::nullopt;
    }
    entry.syndromes = std::string(text("hasparity"));
    entry.syndrome = *syndrome;
  }
  return entry;
}

}  // namespace

std::optional<std::vector<CTDBEntry>> parseCTDBAnswer(std::string_view xml) {
  pugi::xml_document document;
  if (!document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) {
    return std::nullopt;
  }
  const auto root = document.document_element();
  if (std::strcmp(root.name(), "ctdb") != 0) {
    return std::nullopt;
  }
  std::vector<CTDBEntry> entries;
  for (const auto& node : root.children("entry")) {
    if (std::string_view(node.attribute("toc").value()).empty()) {
      continue;
    }
    auto entry = entryOf(node);
    if (!entry) {
      return std::nullopt;
    }
    entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace noru::ctdb
