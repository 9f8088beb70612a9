#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace noru::rip {

// What one import changed in its album folder (and in the artist folder above it).
struct AlbumChanges {
  // A file the import put in place of one that was there, and where that one is kept aside.
  struct Replacement {
    std::filesystem::path file;
    std::filesystem::path keptAside;
    bool operator==(const Replacement&) const = default;
  };

  std::vector<std::filesystem::path> created;  // files that were not there before, in order
  std::vector<Replacement> replaced;
  // The artist's picture, when this import saved it.
  std::optional<std::filesystem::path> savedArtistPicture;

  bool operator==(const AlbumChanges&) const = default;
};

// Undoes a failed import, or one whose files the user asked to remove: deletes the files it
// created, puts every file it replaced back as it was, removes the album folder once empty,
// then the artist's picture when the import saved it and nothing else is left beside it, and
// the artist folder once empty. Nothing above the artist folder is touched, and nothing the
// import did not write. Never fails; each problem is a diagnostic line at most.
class CleanupRippedFiles {
 public:
  void operator()(const std::filesystem::path& albumFolder, const AlbumChanges& changes) const;
};

}  // namespace noru::rip
