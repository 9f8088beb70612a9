#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace noru::app {

// What a stored bookmark names now. A stale bookmark's path holds a directory other than the
// one bookmarked (it was removed and recreated, or replaced).
struct ResolvedFolderBookmark {
  std::filesystem::path folder;
  bool stale = false;

  bool operator==(const ResolvedFolderBookmark&) const = default;
};

// The bytes persisted for a chosen folder: its absolute path and its device and inode numbers.
// Nothing when the folder cannot be examined or is not a directory.
std::optional<std::vector<std::uint8_t>> makeFolderBookmark(const std::filesystem::path& folder);

// Nothing when `bytes` are not a bookmark of this format (they may come from anywhere) or when
// its path no longer names a directory.
std::optional<ResolvedFolderBookmark> resolveFolderBookmark(std::span<const std::uint8_t> bytes);

}  // namespace noru::app
