#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace noru::rip {

// The longest file name, in bytes, that Linux file systems accept.
inline constexpr std::size_t maxFileNameBytes = 255;

// The name of a track's file in the album folder: "07 Title.m4a", or "Track 07.m4a" when the
// track has no title (with `extension` in place of ".m4a" for another format). The tracks of the
// second disc of a release and later ones have the disc's number in front: "2-07 Title.m4a",
// "Track 2-07.m4a". In the title, / \ :
// * ? " < > | each become "_", NULs are dropped, and blanks (Unicode space separators and tabs) are
// trimmed from both ends. A title too long for a file name is shortened at a character boundary so
// that the whole name fits in maxFileNameBytes.
std::string trackFileName(std::int64_t number, const std::optional<std::string>& title,
                          std::string_view extension = ".m4a", std::int64_t disc = 1);

// `text` without the blanks (Unicode space separators and tabs, not line breaks) at either end.
std::string_view trimBlanks(std::string_view text);

// `text` cut to at most `limit` bytes without splitting a UTF-8 character.
std::string_view cutAtCharacterBoundary(std::string_view text, std::size_t limit);

}  // namespace noru::rip
