#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace noru::platform::linux_cd {

// The disc's own text (CD-Text, or the TITLE and PERFORMER lines of an image's cue sheet), in
// UTF-8. Every part may be missing.
struct CDText {
  std::optional<std::string> albumTitle;
  std::optional<std::string> albumPerformer;
  std::map<int, std::string> trackTitles;  // by track number
  std::map<int, std::string> trackPerformers;

  bool empty() const;
  bool operator==(const CDText&) const = default;
};

// What a disc tells of itself beside its table of contents. (Each track's ISRC is read apart,
// when an import starts: a drive takes a moment for each.)
struct DiscFacts {
  CDText text;
  std::optional<std::string> mcn;  // the album's barcode (media catalogue number), 13 digits

  bool operator==(const DiscFacts&) const = default;
};

// `text` when it is a media catalogue number worth keeping: 13 digits whose last is the EAN-13
// check digit of the others, not all zeros (which drives report for discs without one).
std::optional<std::string> validMCN(std::string_view text);
// `text` when it has the form of an ISRC: 2 letters (country), 3 letters or digits (registrant),
// 7 digits (year and designation). Letters are kept as given, upper case.
std::optional<std::string> validISRC(std::string_view text);

}  // namespace noru::platform::linux_cd
