// Any text as a cue sheet, loaded the way the program opens a disc image: the sheet is written
// to disc.cue in a temporary folder of this process, beside BIN files of a few sizes that a
// sheet can name (disc.bin, disc-2.bin, disc-3.bin). Loading either succeeds with a consistent
// layout or raises ImageError, and leaves no child process or descriptor behind. The folder is
// removed when the fuzzer ends normally; one that crashed leaves it under $TMPDIR (which
// scripts/test.sh points into a scratch folder of its own).
//
// libcue reads the sheet in a forked child. A sheet that crashes libcue takes down only the
// child and is refused by the loader; that is the loader working as meant, not a fault found.
// (Whatever a sanitizer reports in the child goes where the loader sends the child's error
// output: nowhere.)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/image/disc_image.h"
#include "platform/image/image_error.h"

namespace {

namespace fs = std::filesystem;
using noru::platform::image::DiscImage;

// Sizes that are whole numbers of sectors of both 2352 and 2048 bytes (301056 bytes is 128 raw
// sectors and 147 data sectors), and one that is neither.
constexpr struct {
  const char* name;
  std::uint64_t bytes;
} kBinFiles[] = {
    {"disc.bin", 301056 * 40},
    {"disc-2.bin", 301056 * 2},
    {"disc-3.bin", 2352 * 3 + 1},
};

// The last absolute address of a disc, 99:59:74, and the lead-in ahead of logical block 0.
constexpr std::int64_t kLastAbsoluteFrame = 99 * 4500 + 59 * 75 + 74;
constexpr std::int64_t kLeadInFrames = 150;

fs::path folder;
fs::path cuePath;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "load_disc_image_fuzzer: %s\n", what);
  std::abort();
}

void removeFolder() {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

int lowestFreeDescriptor() {
  const int descriptor = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    fail("cannot open /dev/null");
  }
  ::close(descriptor);
  return descriptor;
}

// The process ids of this thread's children, alive or not yet waited for.
std::string childrenNow() {
  std::ifstream in("/proc/thread-self/children");
  std::string pids((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    fail("cannot read /proc/thread-self/children");
  }
  return pids;
}

void writeFile(const fs::path& path, std::string_view bytes) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    fail("cannot create a file in the temporary folder");
  }
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) {
      fail("cannot write a file in the temporary folder");
    }
    bytes.remove_prefix(written < 0 ? 0 : static_cast<std::size_t>(written));
  }
  ::close(descriptor);
}

// The promises of DiscImage for a sheet that loaded.
void checkLayout(const DiscImage& image) {
  if (image.tracks.empty() || image.extents.empty()) {
    fail("an image without tracks or extents");
  }
  bool audio = false;
  for (std::size_t i = 0; i < image.tracks.size(); ++i) {
    const auto& track = image.tracks[i];
    if (track.number != static_cast<int>(i) + 1 || track.startSector < 0 ||
        track.startSector >= image.leadOutSector ||
        (i > 0 && track.startSector <= image.tracks[i - 1].startSector) ||
        track.data != ((track.control & 0x04) != 0)) {
      fail("a track out of place");
    }
    audio = audio || !track.data;
  }
  if (!audio) {
    fail("an image without audio tracks");
  }
  std::int64_t next = 0;
  for (const auto& extent : image.extents) {
    if (extent.firstSector != next || extent.sectorCount <= 0) {
      fail("extents with a gap, an overlap or no sectors");
    }
    if (extent.file) {
      if (*extent.file >= image.files.size() ||
          extent.byteOffset + static_cast<std::uint64_t>(extent.sectorCount) * extent.sectorBytes >
              image.files[*extent.file].size) {
        fail("an extent beyond the end of its file");
      }
    }
    next += extent.sectorCount;
  }
  if (next != image.leadOutSector || image.leadOutSector + kLeadInFrames > kLastAbsoluteFrame) {
    fail("a lead-out out of place");
  }
}

}  // namespace

// The loader forks for every sheet, and a fork costs in proportion to the memory this process
// has touched; ASan's quarantine of freed memory (256 MB by default) would soon make up most of
// it and halve the speed. A smaller one still catches a use of memory freed by the last few
// thousand inputs. (ASAN_OPTIONS can set it otherwise.)
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "noru-load-disc-image-fuzzer-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("cannot create a temporary folder");
  }
  folder = pattern;
  std::atexit(removeFolder);
  cuePath = folder / "disc.cue";
  // Sparse files: only their sizes matter to the loader.
  for (const auto& bin : kBinFiles) {
    writeFile(folder / bin.name, {});
    std::error_code error;
    fs::resize_file(folder / bin.name, bin.bytes, error);
    if (error) {
      fail("cannot size a BIN file");
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  writeFile(cuePath, std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string children = childrenNow();
  const int freeDescriptor = lowestFreeDescriptor();
  try {
    checkLayout(noru::platform::image::loadDiscImage(cuePath));
  } catch (const noru::platform::image::ImageError&) {
  }
  // Every child was waited for, and every descriptor closed. (Children and descriptors that were
  // there before, such as the symbolizer libFuzzer starts to name new functions, are not the
  // loader's.)
  if (childrenNow() != children) {
    fail("a child process was left behind");
  }
  if (lowestFreeDescriptor() != freeDescriptor) {
    fail("a descriptor was left open");
  }
  return 0;
}
