#pragma once

#include <filesystem>
#include <vector>

namespace noru::rip {

// Undoes a stopped or failed import: deletes the track files it completed, then in each album
// folder concerned its cover.jpg and rip.log and the folder itself once empty, then the artist
// folder's folder.jpg when the import saved it and nothing else is left there, and the artist
// folder once empty. A folder.jpg that was there before the import (the user's own, or an earlier
// import's) is never removed. Nothing above the artist folder is touched. Never fails; each
// problem is a diagnostic line at most.
class CleanupRippedFiles {
 public:
  void operator()(const std::vector<std::filesystem::path>& files,
                  bool importSavedArtistPicture) const;
};

}  // namespace noru::rip
