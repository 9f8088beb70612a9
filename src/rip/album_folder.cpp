#include "rip/album_folder.h"

#include <algorithm>
#include <ctime>
#include <system_error>
#include <utility>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/image_download.h"
#include "rip/track_file_name.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using platform::log::diagnostic;

constexpr std::string_view kRemoved = std::string_view("/\\:*?\"<>|\0", 10);

std::string localDateAndTime(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H.%M", &local);
  return text;
}

// "lib/Artist/Album/" and "lib/Artist/./Album" are the folder "lib/Artist/Album".
fs::path withoutTrailingSeparator(const fs::path& path) {
  fs::path normal = path.lexically_normal();
  return normal.has_filename() || !normal.has_parent_path() ? normal : normal.parent_path();
}

}  // namespace

std::string libraryFolderName(std::string_view text, std::string_view fallback) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (kRemoved.find(c) == std::string_view::npos) {
      kept += c;
    }
  }
  const auto name = trimBlanks(cutAtCharacterBoundary(trimBlanks(kept), maxFileNameBytes));
  if (name.empty() || name == "." || name == "..") {
    return std::string(fallback);
  }
  return std::string(name);
}

fs::path AlbumFolder::pathFor(const fs::path& library,
                              const std::optional<disc::CDLookupRelease>& release,
                              std::chrono::system_clock::time_point now) {
  if (!release) {
    return library / "Unknown Artist" / ("CD Rip " + localDateAndTime(now));
  }
  return library / libraryFolderName(release->artistCredit, "Unknown Artist") /
         libraryFolderName(release->title, "Unknown Album");
}

std::int64_t AlbumFolder::discFor(const std::optional<disc::CDLookupRelease>& release) {
  return release ? release->discNumber.value_or(1) : 1;
}

AlbumFolder::AlbumFolder(const fs::path& path, disc::AudioFormat format, std::int64_t disc)
    : path_(withoutTrailingSeparator(path)), format_(format), disc_(disc) {}

fs::path AlbumFolder::trackFile(std::int64_t number,
                                const std::optional<std::string>& title) const {
  return path_ / trackFileName(number, title, extensionOf(format_), disc_);
}

fs::path AlbumFolder::ripLog() const {
  return path_ / (disc_ > 1 ? "rip (disc " + std::to_string(disc_) + ").log" : kRipLogName);
}

TemporaryFile AlbumFolder::unfinished(const fs::path& file) {
  return TemporaryFile::besideFile(file);
}

void AlbumFolder::create() const {
  fs::create_directories(path_);
}

void AlbumFolder::place(TemporaryFile& written, const fs::path& file) {
  std::lock_guard lock(mutex_);
  if (end_ != End::open) {
    throw platform::tasks::CancellationError();
  }
  // A file this import placed before is its own to replace; any other is kept aside.
  const bool ours = std::ranges::find(changes_.created, file) != changes_.created.end() ||
                    std::ranges::find(changes_.replaced, file, &AlbumChanges::Replacement::file) !=
                        changes_.replaced.end();
  // A folder in the file's way stays where it is, and the rename below fails.
  std::error_code error;
  const auto there = fs::symlink_status(file, error);
  if (!ours && fs::exists(there) && !fs::is_directory(there)) {
    auto keptAside = TemporaryFile::hiddenBeside(file, "earlier");
    fs::rename(file, keptAside.path());
    try {
      written.moveTo(file);
    } catch (...) {
      std::error_code ignored;
      fs::rename(keptAside.path(), file, ignored);
      keptAside.release();
      throw;
    }
    keptAside.release();
    changes_.replaced.push_back({file, keptAside.path()});
  } else {
    written.moveTo(file);
    if (!ours) {
      changes_.created.push_back(file);
    }
  }
  if (file != cover() && file != ripLog()) {
    ++tracksPlaced_;
  }
}

std::optional<std::string> AlbumFolder::write(const fs::path& file, const std::string& bytes) {
  auto written = unfinished(file);
  if (auto failure = writeNewFile(written.path(), bytes, file)) {
    return failure;
  }
  try {
    place(written, file);
  } catch (const fs::filesystem_error& error) {
    return error.what();
  } catch (const platform::tasks::CancellationError&) {
    return "the import has ended";
  }
  return std::nullopt;
}

bool AlbumFolder::saveArtistPicture(const std::string& bytes) {
  const fs::path picture = artistPicture();
  auto written = unfinished(picture);
  if (auto failure = writeNewFile(written.path(), bytes, picture)) {
    diagnostic("RipCD: artist image download failed (non-fatal): ", *failure);
    return false;
  }
  std::lock_guard lock(mutex_);
  std::error_code error;
  if (end_ != End::open || fs::exists(fs::symlink_status(picture, error))) {
    return false;
  }
  try {
    written.moveTo(picture);
  } catch (const fs::filesystem_error& failure) {
    diagnostic("RipCD: artist image download failed (non-fatal): ", failure.what());
    return false;
  }
  changes_.savedArtistPicture = picture;
  return true;
}

bool AlbumFolder::complete() {
  std::lock_guard lock(mutex_);
  if (end_ != End::open) {
    return end_ == End::completed;
  }
  end_ = End::completed;
  discardKeptAsideLocked();
  return true;
}

void AlbumFolder::keepFinished() {
  std::lock_guard lock(mutex_);
  if (end_ == End::undone) {
    // The clean-up may have found the album folder still holding the file being written then,
    // which is gone now.
    CleanupRippedFiles{}(path_, {.savedArtistPicture = savedArtistPicture_});
    return;
  }
  if (end_ != End::open) {
    return;
  }
  if (tracksPlaced_ == 0) {
    undoLocked();
    return;
  }
  end_ = End::keptFinished;
  discardKeptAsideLocked();
}

void AlbumFolder::undo() {
  std::lock_guard lock(mutex_);
  if (end_ == End::open) {
    undoLocked();
  }
}

void AlbumFolder::undoLocked() {
  end_ = End::undone;
  savedArtistPicture_ = changes_.savedArtistPicture;
  CleanupRippedFiles{}(path_, std::exchange(changes_, {}));
}

void AlbumFolder::discardKeptAsideLocked() {
  for (const auto& replacement : changes_.replaced) {
    std::error_code ignored;
    fs::remove(replacement.keptAside, ignored);
  }
  changes_ = {};
}

}  // namespace noru::rip
