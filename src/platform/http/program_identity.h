#pragma once

#include <string_view>

namespace noru::platform::http {

inline constexpr std::string_view kProgramName = "NoruCDRipper";
inline constexpr std::string_view kProgramVersion = NORU_VERSION;

// How the program names itself to public web services, which ask every client for its name,
// version and a way to reach its makers.
inline constexpr std::string_view kUserAgent =
    "NoruCDRipper/" NORU_VERSION " ( https://noru.app/contact )";

}  // namespace noru::platform::http
