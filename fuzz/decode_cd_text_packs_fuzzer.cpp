// Any byte string as the CD-Text packs a drive or a CD-Text file gives: the decoder must neither
// fail nor return texts that are empty, not UTF-8, or of no track. The CRC that would turn most
// mutations away is put right first, unless the input's first byte is even, so that the text
// assembly itself meets every kind of pack.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/cd_text_packs.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "decode_cd_text_packs_fuzzer: %s\n", what);
  std::abort();
}

void check(const std::optional<std::string>& text) {
  if (text && (text->empty() || !noru::platform::linux_cd::isUTF8(*text))) {
    fail("an album text that is empty or not UTF-8");
  }
}

void check(const std::map<int, std::string>& texts) {
  for (const auto& [track, text] : texts) {
    if (track < 1 || text.empty() || !noru::platform::linux_cd::isUTF8(text)) {
      fail("a track text of no track, empty or not UTF-8");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> packs(data, data + size);
  if (size > 0 && data[0] % 2 == 1) {
    using noru::platform::linux_cd::kCDTextPackBytes;
    for (std::size_t at = 0; at + kCDTextPackBytes <= packs.size(); at += kCDTextPackBytes) {
      const auto crc = noru::platform::linux_cd::cdTextCRC(std::span(packs).subspan(at, 16));
      packs[at + 16] = static_cast<std::uint8_t>(crc >> 8);
      packs[at + 17] = static_cast<std::uint8_t>(crc);
    }
  }
  const auto text = noru::platform::linux_cd::decodeCDTextPacks(packs);
  check(text.albumTitle);
  check(text.albumPerformer);
  check(text.trackTitles);
  check(text.trackPerformers);
  return 0;
}
