#include "app/folder_bookmark.h"

#include <sys/stat.h>

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

namespace noru::app {
namespace {

// The bytes are text:
//   noru-folder-bookmark 1\n
//   device <decimal>\n
//   inode <decimal>\n
//   path <byte count>\n
//   <the path's bytes, which may hold any byte but NUL, newlines included>
// A later format changes the first line, which this version then refuses.
constexpr std::string_view formatLine = "noru-folder-bookmark 1";

struct DirectoryIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  bool operator==(const DirectoryIdentity&) const = default;
};

struct FolderBookmark {
  std::filesystem::path folder;
  DirectoryIdentity identity;
};

std::optional<DirectoryIdentity> directoryIdentity(const std::filesystem::path& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return std::nullopt;
  }
  return DirectoryIdentity{static_cast<std::uint64_t>(status.st_dev),
                           static_cast<std::uint64_t>(status.st_ino)};
}

std::optional<std::uint64_t> decimal(std::string_view digits) {
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

// Reads the bookmark's text front to back; every read fails rather than run past the end.
class BookmarkReader {
 public:
  explicit BookmarkReader(std::string_view text) : rest_(text) {}

  std::optional<std::string_view> line() {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos) {
      return std::nullopt;
    }
    const std::string_view taken = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    return taken;
  }

  // A line "<name> <decimal>".
  std::optional<std::uint64_t> number(std::string_view name) {
    const std::optional<std::string_view> text = line();
    if (!text || !text->starts_with(name) || !text->substr(name.size()).starts_with(' ')) {
      return std::nullopt;
    }
    return decimal(text->substr(name.size() + 1));
  }

  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

std::optional<FolderBookmark> parseFolderBookmark(std::span<const std::uint8_t> bytes) {
  BookmarkReader reader({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  if (reader.line() != formatLine) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> device = reader.number("device");
  const std::optional<std::uint64_t> inode = reader.number("inode");
  const std::optional<std::uint64_t> pathSize = reader.number("path");
  if (!device || !inode || !pathSize || *pathSize != reader.rest().size()) {
    return std::nullopt;
  }
  const std::string_view path = reader.rest();
  if (!path.starts_with('/') || path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  return FolderBookmark{std::filesystem::path(path), {*device, *inode}};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> makeFolderBookmark(const std::filesystem::path& folder) {
  if (folder.empty()) {
    return std::nullopt;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error) {
    return std::nullopt;
  }
  const std::optional<DirectoryIdentity> identity = directoryIdentity(absolute);
  if (!identity) {
    return std::nullopt;
  }
  const std::string& path = absolute.native();
  const std::string text =
      std::string(formatLine) + "\ndevice " + std::to_string(identity->device) + "\ninode " +
      std::to_string(identity->inode) + "\npath " + std::to_string(path.size()) + "\n" + path;
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::optional<ResolvedFolderBookmark> resolveFolderBookmark(std::span<const std::uint8_t> bytes) {
  const std::optional<FolderBookmark> bookmark = parseFolderBookmark(bytes);
  if (!bookmark) {
    return std::nullopt;
  }
  const std::optional<DirectoryIdentity> identity = directoryIdentity(bookmark->folder);
  if (!identity) {
    return std::nullopt;
  }
  return ResolvedFolderBookmark{bookmark->folder, *identity != bookmark->identity};
}

}  // namespace noru::app
