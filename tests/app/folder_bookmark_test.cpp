#include "app/folder_bookmark.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temporary_folder.h"

namespace noru::app {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(FolderBookmark, NamesADirectoryForAsLongAsItExists) {
  testing::TemporaryFolder temp;
  EXPECT_FALSE(makeFolderBookmark("/dev/null"));
  EXPECT_FALSE(makeFolderBookmark(temp.path() / "missing"));
  EXPECT_FALSE(makeFolderBookmark(""));

  const std::filesystem::path folder = temp.path() / "two\nlines";
  std::filesystem::create_directory(folder);
  const Bytes bookmark = makeFolderBookmark(folder).value();
  EXPECT_EQ(resolveFolderBookmark(bookmark), (ResolvedFolderBookmark{folder, false}));
  std::filesystem::remove(folder);
  EXPECT_FALSE(resolveFolderBookmark(bookmark));
}

TEST(FolderBookmark, RefusesBytesThatAreNotOneOfOurs) {
  testing::TemporaryFolder temp;
  const Bytes valid = makeFolderBookmark(temp.path()).value();
  for (std::size_t size = 0; size < valid.size(); ++size) {
    EXPECT_FALSE(resolveFolderBookmark(std::span(valid).first(size))) << size;
  }

  // No directory has inode 0, so the root folder resolves, but stale.
  const std::string header = "noru-folder-bookmark 1\n";
  const std::string root = header + "device 0\ninode 0\npath 1\n/";
  EXPECT_EQ(resolveFolderBookmark(bytesOf(root)), (ResolvedFolderBookmark{"/", true}));
  for (const std::string& hostile : {
           "\0\xff\n"s,
           "noru-folder-bookmark 2\ndevice 0\ninode 0\npath 1\n/"s,
           root + "/",
           header + "device -1\ninode 0\npath 1\n/",
           header + "device 0\ninode 99999999999999999999999\npath 1\n/",
           header + "device 0\ninode\npath 1\n/",
           header + "device 0\ninode 0\npath 3\ntmp",
           header + "device 0\ninode 0\npath 4\n/\0ab"s,
       }) {
    EXPECT_FALSE(resolveFolderBookmark(bytesOf(hostile))) << hostile;
  }
}

}  // namespace
}  // namespace noru::app
