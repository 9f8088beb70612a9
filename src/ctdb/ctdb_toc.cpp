#include "ctdb/ctdb_toc.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>

namespace noru::ctdb {
namespace {

// Between an Enhanced CD's audio session and its data session: the first session's lead-out
// (6750 frames), the second's lead-in (4500) and the data track's pregap (150).
constexpr std::int32_t kSessionGap = 11400;
constexpr std::size_t kIdEntries = 100;

std::string hex8(std::int32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<std::uint32_t>(value));
  return text;
}

}  // namespace

std::string idBase64(const std::vector<std::uint8_t>& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  std::ranges::replace(text, '+', '.');
  std::ranges::replace(text, '/', '_');
  std::ranges::replace(text, '=', '-');
  return text;
}

std::optional<CTDBToc> CTDBToc::from(const disc::FullTOCLayout& layout) {
  if (!layout.leadOut || layout.tracks.empty()) {
    return std::nullopt;
  }
  CTDBToc toc;
  std::int32_t previous = -1;
  std::optional<std::int32_t> dataAfterAudio;
  for (const auto& track : layout.tracks) {
    if (track.startLBA <= previous || track.startLBA >= *layout.leadOut) {
      return std::nullopt;
    }
    previous = track.startLBA;
    toc.text += (track.data ? "-" : "") + std::to_string(track.startLBA) + ":";
    if (!track.data) {
      toc.audioStarts.push_back(track.startLBA);
    } else if (!toc.audioStarts.empty() && !dataAfterAudio) {
      dataAfterAudio = track.startLBA;
    }
  }
  if (toc.audioStarts.empty()) {
    return std::nullopt;
  }
  toc.text += std::to_string(*layout.leadOut);
  toc.audioLeadOut = dataAfterAudio ? *dataAfterAudio - kSessionGap : *layout.leadOut;
  if (toc.audioLeadOut <= toc.audioStarts.back()) {
    return std::nullopt;
  }

  const std::int32_t first = toc.audioStarts.front();
  std::string entries;
  for (std::size_t index = 1; index < toc.audioStarts.size(); ++index) {
    entries += hex8(toc.audioStarts[index] - first);
  }
  entries += hex8(toc.audioLeadOut - first);
  entries.resize(std::max(entries.size(), kIdEntries * 8), '0');
  std::vector<std::uint8_t> digest(SHA_DIGEST_LENGTH);
  SHA1(reinterpret_cast<const unsigned char*>(entries.data()), entries.size(), digest.data());
  toc.id = idBase64(digest);
  return toc;
}

}  // namespace noru::ctdb
