#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace noru::rip {

// Folder chores of the clean-up of an import.
// Failures are ignored: leaving a folder behind is never worth failing over.

// The entries of `folder`, hidden ones included; nothing when it cannot be listed.
std::optional<std::vector<std::filesystem::path>> folderEntries(
    const std::filesystem::path& folder);

// Removes `folder` when it has no entry at all. True when it was removed.
bool removeFolderIfEmpty(const std::filesystem::path& folder);

// Removes `file` when it is the only thing left in its folder.
void removeIfAlone(const std::filesystem::path& file);

}  // namespace noru::rip
