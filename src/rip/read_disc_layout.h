#pragma once

#include <memory>
#include <optional>
#include <string>

#include "disc/full_toc_layout.h"
#include "platform/linux/full_toc_source.h"

namespace noru::rip {

// Where the tracks of the disc in the drive whose medium is `bsdName` lie, from its full table of
// contents; nothing when it cannot be read (or there is no source to read it from).
std::optional<disc::FullTOCLayout> readDiscLayout(
    const std::shared_ptr<platform::linux_cd::FullTocSource>& source, const std::string& bsdName);

}  // namespace noru::rip
