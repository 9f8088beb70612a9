#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "disc/audio_format.h"
#include "disc/cd_lookup_release.h"
#include "rip/cleanup_ripped_files.h"
#include "rip/temporary_file.h"

namespace noru::rip {

// The folder of one import, library / artist / album, and everything the import changes in it.
// It owns the folder's layout (the track files and the hidden names they are written under, the
// album's cover, the artist's picture in the folder above, the rip log) and records what the
// import created and what it replaced, so that however the import ends, one place decides what
// stays:
//   complete()      the import finished: all it placed stays, the files it replaced go;
//   keepFinished()  a plain stop: the finished tracks stay with their cover, the files they
//                   replaced go; an import that finished no track is undone;
//   undo()          a failure, or the user's "Stop and Remove Files": everything the import
//                   created goes and every file it replaced comes back as it was.
// The first of the three to come decides; the others then change nothing. Once it has decided,
// nothing more is placed. Shared by the import's task and the main thread through
// std::shared_ptr; every member is safe to call from either.
class AlbumFolder {
 public:
  static constexpr char kCoverName[] = "cover.jpg";
  static constexpr char kArtistPictureName[] = "folder.jpg";
  static constexpr char kRipLogName[] = "rip.log";

  // The folder an import of `release` goes to, always exactly two levels inside `library`:
  // the release's artist credit and title as folder names (libraryFolderName), or, without a
  // release, "Unknown Artist" / "CD Rip " and the local date and time of `now`
  // ("yyyy-MM-dd HH.mm").
  static std::filesystem::path pathFor(const std::filesystem::path& library,
                                       const std::optional<disc::CDLookupRelease>& release,
                                       std::chrono::system_clock::time_point now);
  // Which disc of `release` an import of it writes: the first unless the release says otherwise.
  static std::int64_t discFor(const std::optional<disc::CDLookupRelease>& release);

  // The album folder at `path`, however it is spelled (a trailing separator included), whose
  // track files are of `format`. The files of the release's disc `disc` go there; the names of
  // the second disc and later ones tell their disc (trackFileName), and so does their rip log,
  // so that the discs of a release share the folder without replacing each other's files.
  explicit AlbumFolder(const std::filesystem::path& path,
                       disc::AudioFormat format = disc::AudioFormat::aac, std::int64_t disc = 1);
  AlbumFolder(const AlbumFolder&) = delete;
  AlbumFolder& operator=(const AlbumFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  disc::AudioFormat format() const { return format_; }
  std::filesystem::path artistFolder() const { return path_.parent_path(); }
  std::filesystem::path trackFile(std::int64_t number,
                                  const std::optional<std::string>& title) const;
  std::filesystem::path cover() const { return path_ / kCoverName; }
  std::filesystem::path artistPicture() const { return artistFolder() / kArtistPictureName; }
  std::filesystem::path ripLog() const;

  // A hidden file beside `file` to write it under until it is complete.
  static TemporaryFile unfinished(const std::filesystem::path& file);

  // Creates the album folder and the folders above it that are missing. Raises
  // std::filesystem::filesystem_error.
  void create() const;

  // Puts the complete `written` in `file`'s place with one rename. A file that was there is
  // kept aside under a hidden name until the import ends. Raises
  // std::filesystem::filesystem_error (then nothing has changed), or
  // platform::tasks::CancellationError once the import's end has been decided.
  void place(TemporaryFile& written, const std::filesystem::path& file);
  // Writes `bytes` as `file` the same way. The description of a failure, if any.
  std::optional<std::string> write(const std::filesystem::path& file, const std::string& bytes);
  // Saves `bytes` as the artist's picture unless one is there (a picture is never replaced).
  // True when saved.
  bool saveArtistPicture(const std::string& bytes);

  // False when the import had already been undone: nothing of it is left.
  bool complete();
  void keepFinished();
  void undo();

 private:
  enum class End { open, completed, keptFinished, undone };

  void discardKeptAsideLocked();
  void undoLocked();

  const std::filesystem::path path_;
  const disc::AudioFormat format_;
  const std::int64_t disc_;
  mutable std::mutex mutex_;
  End end_ = End::open;
  AlbumChanges changes_;
  int tracksPlaced_ = 0;
  std::optional<std::filesystem::path> savedArtistPicture_;
};

// The name of an artist or album folder made from a release's text: the characters
// / \ : * ? " < > | and NUL removed, blanks trimmed from both ends, and at most 255 bytes (cut
// at a character boundary). A name that comes out empty, "." or ".." would not be a folder of
// its own inside the library, so `fallback` takes its place.
std::string libraryFolderName(std::string_view text, std::string_view fallback);

}  // namespace noru::rip
