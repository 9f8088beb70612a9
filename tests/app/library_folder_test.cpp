// The library folder: its bookmark, its choice and its return at the next start. The journeys
// choose one at the first import and find it again after a restart.
#include <gtest/gtest.h>
#include <QSettings>

#include "app/folder_bookmark.h"
#include "app/output_folder_picker.h"
#include "app/restore_library_path.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::app {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;
const char* const pathKey = "settings.outputFolderPath";

struct ScriptedDialog final : FolderDialog {
  std::optional<fs::path> answer;  // nothing: the user cancels
  std::optional<fs::path> chooseFolder() override { return answer; }
};

// Grants every request; records "+A" when access to folder A starts and "-A" when it stops.
struct RecordingAccess final : FolderAccess {
  std::string calls;
  bool startAccessing(const fs::path& folder) override {
    calls += "+" + folder.filename().string();
    return true;
  }
  void stopAccessing(const fs::path& folder) override { calls += "-" + folder.filename().string(); }
};

// Folder "A" exists; the others are only names, which suffice where no real bookmark is made.
struct Library {
  Library() { fs::create_directory(folder("A")); }

  fs::path folder(const char* name) const { return temp.path() / name; }

  bool pick(const char* name, OutputFolderPicker::MakeBookmark make = makeFolderBookmark) {
    dialog->answer = name ? std::optional(folder(name)) : std::nullopt;
    const OutputFolderPicker picker{dialog, preferences, holder, std::move(make)};
    return picker([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
  }

  testing::TemporaryFolder temp;
  fs::path settingsFile = temp.path() / "preferences.ini";
  std::shared_ptr<ScriptedDialog> dialog = std::make_shared<ScriptedDialog>();
  std::shared_ptr<Preferences> preferences = std::make_shared<Preferences>(settingsFile);
  std::shared_ptr<RecordingAccess> access = std::make_shared<RecordingAccess>();
  std::shared_ptr<FolderAccessHolder> holder = std::make_shared<FolderAccessHolder>(access);
  std::vector<state::AnyAction> dispatched;
};

using LibraryFolder = testing::RuntimeFixture;

// At the start of a new run on the same preferences file, a path without a bookmark, bytes
// that are no bookmark, and a folder replaced by another of its name restore nothing and change
// nothing stored. (The folder chosen before is found again in the journeys.)
TEST_F(LibraryFolder, ARestartFindsOnlyTheFolderChosenBefore) {
  const std::function<void(Library&)> earlierRuns[] = {
      [](auto& t) { t.preferences->writeOutputFolderPath("/"); },
      [](auto& t) {
        t.preferences->writeOutputFolderBookmark(Bytes{0, 0xff});
      },
      [](auto& t) {
        t.pick("A");
        fs::create_directory(t.folder("B"));
        fs::remove(t.folder("A"));
        fs::rename(t.folder("B"), t.folder("A"));
      },
  };
  for (const auto& earlierRun : earlierRuns) {
    Library t;
    earlierRun(t);
    const std::string storedBefore = testing::fileContents(t.settingsFile);
    FolderAccessHolder restarted(std::make_shared<RecordingAccess>());
    EXPECT_FALSE(restoreLibraryPath(Preferences(t.settingsFile), restarted));
    EXPECT_FALSE(restarted.current());
    EXPECT_EQ(testing::fileContents(t.settingsFile), storedBefore);
  }
}

// Each choice is dispatched and written at once; a cancel changes nothing, a folder chosen
// without a bookmark keeps the one stored before, and access moves to a new folder only.
TEST_F(LibraryFolder, EveryChosenFolderIsRecorded) {
  Library t;
  const struct {
    const char* folder;  // nullptr: the user cancels
    std::optional<Bytes> bookmark, stored;
    std::string accessCalls;
  } steps[] = {
      {"A", Bytes{1}, Bytes{1}, "+A"},
      {"A", Bytes{2}, Bytes{2}, "+A"},
      {nullptr, Bytes{3}, Bytes{2}, "+A"},
      {"B", std::nullopt, Bytes{2}, "+A-A+B"},
  };
  for (const auto& step : steps) {
    t.preferences->writeOutputFolderPath("elsewhere");  // a choice writes it again
    t.dispatched.clear();
    const bool chosen = t.pick(step.folder, [&](const fs::path&) { return step.bookmark; });
    EXPECT_EQ(chosen, step.folder != nullptr);
    const std::string path = chosen ? t.folder(step.folder).string() : "elsewhere";
    using Actions = std::vector<state::AnyAction>;
    EXPECT_EQ(t.dispatched,
              chosen
                  ? Actions{state::UIAction(state::UIActions::setOutputFolder{path, step.bookmark})}
                  : Actions{});
    EXPECT_EQ(QSettings(t.settingsFile.c_str(), QSettings::IniFormat).value(pathKey), path.c_str());
    EXPECT_EQ(Preferences(t.settingsFile).outputFolderBookmark(), step.stored);
    EXPECT_EQ(t.access->calls, step.accessCalls);
  }
}

// The import preferences: the defaults on a new file, each choice read back after a restart,
// and values the program does not know (a format of a later version, a mistyped switch)
// standing for the default one by one.
TEST(ImportPreferences, ComeBackAsWrittenAndFallBackToTheDefaultForUnknownValues) {
  using Format = disc::AudioFormat;
  testing::TemporaryFolder temp;
  const auto file = temp.path() / "preferences.ini";
  EXPECT_EQ(Preferences(file).importPreferences(), state::ImportPreferences{});
  for (const auto format : {Format::aac, Format::alac, Format::flac}) {
    for (const bool twice : {true, false}) {
      const state::ImportPreferences chosen{format, twice, !twice, twice};
      Preferences(file).writeImportPreferences(chosen);
      EXPECT_EQ(Preferences(file).importPreferences(), chosen);
    }
  }
  {
    QSettings raw(file.c_str(), QSettings::IniFormat);
    raw.setValue("settings.importFormat", "wav");
    raw.setValue("settings.readUnconfirmedTwice", "sometimes");
    raw.setValue("settings.ejectWhenComplete", 1);
    raw.setValue("settings.notifyWhenInactive", "yes");
  }
  EXPECT_EQ(Preferences(file).importPreferences(), state::ImportPreferences{});
}

TEST(FolderBookmark, NamesAnExistingDirectoryAndRefusesBytesThatAreNotOneOfOurs) {
  testing::TemporaryFolder temp;
  EXPECT_FALSE(makeFolderBookmark("/dev/null"));
  EXPECT_FALSE(makeFolderBookmark(temp.path() / "missing"));
  EXPECT_FALSE(makeFolderBookmark(""));
  const fs::path folder = temp.path() / "two\nlines";
  fs::create_directory(folder);
  const Bytes bookmark = makeFolderBookmark(folder).value();
  EXPECT_EQ(resolveFolderBookmark(bookmark), (ResolvedFolderBookmark{folder, false}));
  for (std::size_t size = 0; size < bookmark.size(); ++size) {
    EXPECT_FALSE(resolveFolderBookmark(std::span(bookmark).first(size))) << size;
  }
  fs::remove(folder);
  EXPECT_FALSE(resolveFolderBookmark(bookmark));

  // No directory has inode 0, so the root folder resolves, but stale.
  const std::string header = "noru-folder-bookmark 1\n";
  const std::string root = header + "device 0\ninode 0\npath 1\n/";
  EXPECT_EQ(resolveFolderBookmark(Bytes(root.begin(), root.end())),
            (ResolvedFolderBookmark{"/", true}));
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
    EXPECT_FALSE(resolveFolderBookmark(Bytes(hostile.begin(), hostile.end()))) << hostile;
  }
}

}  // namespace
}  // namespace noru::app
