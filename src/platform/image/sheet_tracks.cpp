#include "platform/image/sheet_tracks.h"

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>

namespace noru::platform::image {
namespace {

struct CdDelete {
  void operator()(Cd* cd) const { cd_delete(cd); }
};

class OwnedDescriptor {
 public:
  explicit OwnedDescriptor(int descriptor) : descriptor_(descriptor) {}
  ~OwnedDescriptor() { reset(); }
  OwnedDescriptor(const OwnedDescriptor&) = delete;
  OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

  int get() const { return descriptor_; }
  void reset() {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
      descriptor_ = -1;
    }
  }

 private:
  int descriptor_;
};

// The child's answer travels as raw values; both ends are the same program.
template <class Value>
void put(std::string& answer, Value value) {
  answer.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class Value>
bool take(std::string_view& answer, Value& value) {
  if (answer.size() < sizeof value) {
    return false;
  }
  std::memcpy(&value, answer.data(), sizeof value);
  answer.remove_prefix(sizeof value);
  return true;
}

bool takeText(std::string_view& answer, std::string& text) {
  std::uint32_t size = 0;
  if (!take(answer, size) || answer.size() < size) {
    return false;
  }
  text.assign(answer.substr(0, size));
  answer.remove_prefix(size);
  return true;
}

std::uint8_t controlOf(const Track* track) {
  if (track_get_mode(track) != MODE_AUDIO) {
    return 0x04;
  }
  return (track_is_set_flag(track, FLAG_PRE_EMPHASIS) ? 0x01 : 0) |
         (track_is_set_flag(track, FLAG_COPY_PERMITTED) ? 0x02 : 0) |
         (track_is_set_flag(track, FLAG_FOUR_CHANNEL) ? 0x08 : 0);
}

void putText(std::string& answer, const char* text) {
  const std::string_view view = text ? text : "";
  put(answer, static_cast<std::uint32_t>(view.size()));
  answer += view;
}

const char* textOf(Pti item, const Cdtext* text) {
  return text ? cdtext_get(item, text) : nullptr;
}

// Runs in the child: libcue's reading of the sheet, as the disc's texts, the track count and
// then each track. Nothing at all when libcue refuses the sheet.
std::string describeSheet(const std::string& sheet) {
  std::string answer;
  std::unique_ptr<Cd, CdDelete> cd(cue_parse_string(sheet.c_str()));
  if (!cd) {
    return answer;
  }
  putText(answer, textOf(PTI_TITLE, cd_get_cdtext(cd.get())));
  putText(answer, textOf(PTI_PERFORMER, cd_get_cdtext(cd.get())));
  putText(answer, cd_get_cdtextfile(cd.get()));
  const std::int32_t count = cd_get_ntrack(cd.get());
  put(answer, count);
  for (int i = 1; i <= count; ++i) {
    const Track* track = cd_get_track(cd.get(), i);
    putText(answer, track ? track_get_filename(track) : nullptr);
    putText(answer, track ? textOf(PTI_TITLE, track_get_cdtext(track)) : nullptr);
    putText(answer, track ? textOf(PTI_PERFORMER, track_get_cdtext(track)) : nullptr);
    putText(answer, track ? track_get_isrc(track) : nullptr);
    put(answer, track ? track_get_mode(track) : MODE_AUDIO);
    for (int index : {0, 1}) {
      put(answer, track ? track_get_index(track, index) : -1L);
    }
    put(answer, track ? track_get_zero_pre(track) : -1L);
    put(answer, track ? track_get_zero_post(track) : -1L);
    put(answer, track ? controlOf(track) : std::uint8_t{0});
  }
  return answer;
}

std::optional<SheetContents> decodeSheet(std::string_view answer) {
  SheetContents contents;
  std::int32_t count = 0;
  if (!takeText(answer, contents.title) || !takeText(answer, contents.performer) ||
      !takeText(answer, contents.cdTextFile) || !take(answer, count)) {
    return std::nullopt;
  }
  auto& tracks = contents.tracks;
  for (int number = 1; number <= count; ++number) {
    SheetTrack track;
    track.number = number;
    if (!takeText(answer, track.fileName) || !takeText(answer, track.title) ||
        !takeText(answer, track.performer) || !takeText(answer, track.isrc) ||
        !take(answer, track.mode) || !take(answer, track.index0) || !take(answer, track.index1) ||
        !take(answer, track.pregap) || !take(answer, track.postgap) ||
        !take(answer, track.control)) {
      return std::nullopt;
    }
    tracks.push_back(std::move(track));
  }
  if (!answer.empty()) {
    return std::nullopt;
  }
  return contents;
}

bool writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) {
      return false;
    }
    bytes.remove_prefix(written < 0 ? 0 : static_cast<std::size_t>(written));
  }
  return true;
}

// Everything until end of file; nothing when reading fails or memory runs out.
std::optional<std::string> readToEnd(int descriptor) noexcept {
  try {
    std::string bytes;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
      if (got > 0) {
        bytes.append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0) {
        return bytes;
      } else if (errno != EINTR) {
        return std::nullopt;
      }
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

void silenceErrorOutput() {
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0 && null != STDERR_FILENO) {
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
}

// The child's side: hands `work`'s answer over and ends without running any exit handler (and
// so without the parent's atexit work or leak checks).
[[noreturn]] void answerAndExit(const std::function<std::string()>& work, int answerDescriptor) {
  silenceErrorOutput();
  int status = 1;
  try {
    status = writeAll(answerDescriptor, work()) ? 0 : 1;
  } catch (...) {
  }
  ::_exit(status);
}

bool exitedCleanly(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `work` in a forked child and returns what it answered; nothing when the child could not
// be started, or did not end normally after handing over its whole answer.
std::optional<std::string> answerOfChildProcess(const std::function<std::string()>& work) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return std::nullopt;
  }
  OwnedDescriptor readEnd(ends[0]);
  OwnedDescriptor writeEnd(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) {
    return std::nullopt;
  }
  if (child == 0) {
    answerAndExit(work, writeEnd.get());
  }
  writeEnd.reset();
  auto answer = readToEnd(readEnd.get());
  // Closed before waiting, so that a child still writing fails instead of waiting for a reader.
  readEnd.reset();
  const bool clean = exitedCleanly(child);
  return clean ? answer : std::nullopt;
}

}  // namespace

std::optional<SheetContents> readSheetContents(const std::string& sheet) {
  const auto answer = answerOfChildProcess([&sheet] { return describeSheet(sheet); });
  if (!answer) {
    return std::nullopt;
  }
  return decodeSheet(*answer);
}

}  // namespace noru::platform::image
