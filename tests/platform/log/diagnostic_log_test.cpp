#include "platform/log/diagnostic_log.h"

#include <gtest/gtest.h>

#include "support/captured_log.h"

namespace noru::platform::log {
namespace {

TEST(DiagnosticLog, DiscardsWithoutASinkAndJoinsPiecesWithOne) {
  EXPECT_FALSE(hasSink());
  diagnostic("nobody hears this ", 1);
  {
    testing::CapturedLog log;
    diagnostic("ReadCDSectors: sector ", 1150, "/", std::int32_t{1150}, " (", 100, "%)");
    diagnostic("path ", std::filesystem::path("/tmp/a b"), " flag=", true,
               " len=", oneDecimal(12345 / 75.0));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ReadCDSectors: sector 1150/1150 (100%)",
                                                     "path /tmp/a b flag=true len=164.6"}));
  }
  EXPECT_FALSE(hasSink());
}

}  // namespace
}  // namespace noru::platform::log
