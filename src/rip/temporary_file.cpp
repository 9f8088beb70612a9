#include "rip/temporary_file.h"

#include <uuid/uuid.h>

#include <system_error>
#include <utility>

#include "rip/track_file_name.h"

namespace noru::rip {

namespace fs = std::filesystem;

std::string upperCaseUUID() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return text;
}

TemporaryFile::TemporaryFile(fs::path path) : path_(std::move(path)) {}

TemporaryFile TemporaryFile::besideFile(const fs::path& finalPath) {
  return hiddenBeside(finalPath, "part");
}

TemporaryFile TemporaryFile::hiddenBeside(const fs::path& finalPath, std::string_view ending) {
  // Eight hex digits keep two imports of the same track (a stopped one still finishing beside
  // a new one) from ever sharing a temporary name.
  std::string suffix = ".";
  suffix += upperCaseUUID().substr(0, 8);
  suffix += ".";
  suffix += ending;
  const std::string name = finalPath.filename().string();
  std::string hidden = ".";
  hidden += cutAtCharacterBoundary(name, maxFileNameBytes - 1 - suffix.size());
  hidden += suffix;
  return TemporaryFile(finalPath.parent_path() / hidden);
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::move(other.path_)), owned_(std::exchange(other.owned_, false)) {}

TemporaryFile::~TemporaryFile() {
  if (owned_) {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
}

void TemporaryFile::moveTo(const fs::path& finalPath) {
  fs::rename(path_, finalPath);
  owned_ = false;
}

}  // namespace noru::rip
