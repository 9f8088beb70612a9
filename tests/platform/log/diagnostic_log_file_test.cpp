#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/log/diagnostic_log.h"
#include "platform/log/diagnostic_log_file.h"
#include "support/process_resources.h"
#include "support/temporary_folder.h"

namespace noru::platform::log {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable (unsets it for nullptr) and puts the old value back afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      previous_ = old;
    }
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedVariable() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(DiagnosticLogFile, FolderComesFromXdgStateHomeWhenAbsoluteElseHome) {
  struct Case {
    const char* stateHome;
    const char* home;
    fs::path folder;
  };
  const Case cases[] = {
      {"/x/state", "/home/u", "/x/state/noru-cd-ripper"},
      {"x/state", "/home/u", "/home/u/.local/state/noru-cd-ripper"},
      {"", "/home/u", "/home/u/.local/state/noru-cd-ripper"},
      {nullptr, "/home/u", "/home/u/.local/state/noru-cd-ripper"},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    ScopedVariable stateHome("XDG_STATE_HOME", c.stateHome);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(defaultDiagnosticLogFolder(), c.folder) << (c.stateHome ? c.stateHome : "unset");
  }
}

TEST(DiagnosticLogFile, KeepsStampedLinesInOrderInTwoFilesAndShrugsOffAnUnwritableFolder) {
  noru::testing::TemporaryFolder temporary;
  const fs::path folder = temporary.path() / "state" / "noru-cd-ripper";
  const fs::path current = folder / "noru-cd-ripper.log";
  const fs::path older = folder / "noru-cd-ripper.log.1";
  const std::uintmax_t limit = 400;  // a dozen lines
  const auto descriptors = noru::testing::openFileDescriptorCount();
  {
    DiagnosticLogFile logFile(folder, DiagnosticLogFile::Echo::None, limit);
    ScopedSink sink(logFile.sink());
    for (int i = 0; i < 60; ++i) {
      diagnostic("line ", i);
    }
  }
  EXPECT_EQ(noru::testing::filesUnder(temporary.path()),
            (std::set<std::string>{"state", "state/noru-cd-ripper",
                                   "state/noru-cd-ripper/noru-cd-ripper.log",
                                   "state/noru-cd-ripper/noru-cd-ripper.log.1"}));
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(current).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_LE(fs::file_size(current), limit);
  EXPECT_GT(fs::file_size(older), limit / 2);
  EXPECT_LE(fs::file_size(older), limit);

  // The older file then the current one hold the newest lines, none missing, each stamped.
  std::istringstream text(noru::testing::fileContents(older) +
                          noru::testing::fileContents(current));
  const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} line (\d+))");
  std::vector<int> numbers;
  for (std::string line; std::getline(text, line);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, stamped)) << line;
    numbers.push_back(std::stoi(match[1]));
  }
  ASSERT_FALSE(numbers.empty());
  EXPECT_EQ(numbers.back(), 59);
  for (std::size_t i = 1; i < numbers.size(); ++i) {
    EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
  }

  // Rounds of the same lines are counted once they repeat, not written again.
  fs::remove_all(folder);
  {
    DiagnosticLogFile logFile(folder, DiagnosticLogFile::Echo::None);
    ScopedSink sink(logFile.sink());
    for (const char* line : {"listed", "read", "listed", "read", "listed", "inserted"}) {
      diagnostic(line);
    }
  }
  std::istringstream rounds(noru::testing::fileContents(current));
  std::vector<std::string> written;
  for (std::string line; std::getline(rounds, line);) {
    written.push_back(line.substr(24));  // after the time
  }
  ASSERT_EQ(written.size(), 4u);  // the two, how many more there were, the new one
  EXPECT_EQ(written[0] + written[1] + written[3], "listedreadinserted");
  EXPECT_NE(written[2].find(" 3 "), std::string::npos) << written[2];

  // A folder that cannot be made (its parent is a regular file): the lines go nowhere, quietly.
  const fs::path blocker = temporary.path() / "blocker";
  std::ofstream(blocker) << "a file";
  {
    DiagnosticLogFile logFile(blocker / "noru-cd-ripper", DiagnosticLogFile::Echo::None);
    ScopedSink sink(logFile.sink());
    diagnostic("goes nowhere");
  }
  EXPECT_EQ(noru::testing::fileContents(blocker), "a file");
  EXPECT_EQ(noru::testing::openFileDescriptorCount(), descriptors);
}

}  // namespace
}  // namespace noru::platform::log
