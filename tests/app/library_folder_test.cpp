#include <gtest/gtest.h>
#include <QSettings>

#include "app/output_folder_picker.h"
#include "app/restore_library_path.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::app {
namespace {

namespace fs = std::filesystem;
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
class LibraryFolder : public testing::RuntimeFixture {
 public:
  LibraryFolder() { fs::create_directory(folder("A")); }

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

struct RestoreCase {
  const char* name;
  std::function<void(LibraryFolder&)> earlierRuns;
  const char* restored = nullptr;  // no folder
  friend void PrintTo(const RestoreCase& c, std::ostream* out) { *out << c.name; }
};

class LibraryFolderRestore : public LibraryFolder,
                             public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(LibraryFolderRestore, FindsOnlyTheFolderChosenBefore) {
  GetParam().earlierRuns(*this);
  const std::string storedBefore = testing::fileContents(settingsFile);
  // Start-up of a new run of the application on the same preferences file.
  FolderAccessHolder restarted(std::make_shared<RecordingAccess>());
  const std::optional<std::string> restored =
      restoreLibraryPath(Preferences(settingsFile), restarted);
  const char* expected = GetParam().restored;
  EXPECT_EQ(restored, expected ? std::optional(folder(expected).string()) : std::nullopt);
  EXPECT_EQ(restarted.current(), expected ? std::optional(folder(expected)) : std::nullopt);
  EXPECT_EQ(testing::fileContents(settingsFile), storedBefore);
}

const RestoreCase restoreCases[] = {
    {"FirstRun", [](auto&) {}},
    {"ChosenFolder", [](auto& t) { t.pick("A"); }, "A"},
    {"OnlyThePath", [](auto& t) { t.preferences->writeOutputFolderPath("/"); }},
    {"Garbage",
     [](auto& t) {
       t.preferences->writeOutputFolderBookmark(Bytes{0, 0xff});
     }},
    {"ReplacedFolder",
     [](auto& t) {
       t.pick("A");
       fs::create_directory(t.folder("B"));
       fs::remove(t.folder("A"));
       fs::rename(t.folder("B"), t.folder("A"));
     }},
};
INSTANTIATE_TEST_SUITE_P(Runs, LibraryFolderRestore, ::testing::ValuesIn(restoreCases),
                         [](const auto& info) { return info.param.name; });

struct Pick {
  const char* folder;  // nullptr: the user cancels
  bool makesBookmark = true;
};

struct PickCase {
  const char* name;
  std::vector<Pick> picks;
  std::string accessCalls;
  friend void PrintTo(const PickCase& c, std::ostream* out) { *out << c.name; }
};

class OutputFolderChoice : public LibraryFolder, public ::testing::WithParamInterface<PickCase> {};

TEST_P(OutputFolderChoice, RecordsEveryChosenFolder) {
  std::optional<Bytes> storedBookmark;
  std::vector<state::AnyAction> expected;
  for (std::uint8_t step = 0; const Pick& pickStep : GetParam().picks) {
    // Bookmarks that differ at each step, and a path overwritten before it, show every write.
    const std::optional<Bytes> bookmark =
        pickStep.makesBookmark ? std::optional(Bytes{++step}) : std::nullopt;
    preferences->writeOutputFolderPath("elsewhere");
    const bool chosen = pick(pickStep.folder, [&](const fs::path&) { return bookmark; });
    EXPECT_EQ(chosen, pickStep.folder != nullptr);
    const std::string path = chosen ? folder(pickStep.folder).string() : "elsewhere";
    if (chosen) {
      storedBookmark = bookmark ? bookmark : storedBookmark;
      expected.push_back(state::UIAction(state::UIActions::setOutputFolder{path, bookmark}));
    }
    EXPECT_EQ(QSettings(settingsFile.c_str(), QSettings::IniFormat).value(pathKey), path.c_str());
    EXPECT_EQ(Preferences(settingsFile).outputFolderBookmark(), storedBookmark);
  }
  EXPECT_EQ(dispatched, expected);
  EXPECT_EQ(access->calls, GetParam().accessCalls);
}

const PickCase pickCases[] = {
    {"SameFolderTwice", {{"A"}, {"A"}}, "+A"},
    {"AnotherFolder", {{"A"}, {"B"}}, "+A-A+B"},
    {"Cancel", {{"A"}, {nullptr}}, "+A"},
    {"NoBookmark", {{"A"}, {"B", false}}, "+A-A+B"},
};
INSTANTIATE_TEST_SUITE_P(Sequences, OutputFolderChoice, ::testing::ValuesIn(pickCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace noru::app
