#include "lookup/search_cd.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lookup/json_coding.h"
#include "support/captured_log.h"

namespace noru::lookup {
namespace {

using platform::http::HttpRequest;
using platform::http::HttpResponse;
using platform::http::TransportError;

// Line 1 before sending, line 2 once an answer arrived (whatever its status), line 3 once it
// decoded.
TEST(SearchCD, WritesItsLinesAsFarAsTheExchangeGot) {
  const std::string first = "SearchCD: searching for 'Artist' \u2014 'Album' (12 tracks)";
  const struct {
    std::string name;
    std::function<HttpResponse()> answer;
    std::vector<std::string> lines;
  } cases[] = {
      {"404 with a release",
       [] {
         return HttpResponse{.statusCode = 404,
                             .body = R"({"releases":[{"release_mbid":"r","title":"T",)"
                                     R"("artist_credit":"A","tracks":[]}]})"};
       },
       {first, "SearchCD: response status 404, 79 bytes", "SearchCD: 1 release(s) returned"}},
      {"no HTTP status",
       [] { return HttpResponse{.body = R"({"releases":[]})"}; },
       {first, "SearchCD: response status -1, 15 bytes", "SearchCD: 0 release(s) returned"}},
      {"undecodable",
       [] { return HttpResponse{.statusCode = 500, .body = "<html>oops</html>"}; },
       {first, "SearchCD: response status 500, 17 bytes"}},
      {"no answer",
       []() -> HttpResponse { throw TransportError(TransportError::Kind::timedOut); },
       {first}},
  };
  for (const auto& [name, answer, lines] : cases) {
    SCOPED_TRACE(name);
    testing::CapturedLog log;
    const SearchCD search{.send = [&](const HttpRequest&, std::stop_token) { return answer(); }};
    bool returned = false;
    try {
      search("Artist", "Album", std::vector<disc::CDTrackInfo>(12), {});
      returned = true;
    } catch (const DecodingError&) {
    } catch (const TransportError&) {
    }
    EXPECT_EQ(returned, lines.size() == 3) << "an error is raised exactly when a line is missing";
    EXPECT_EQ(log.lines(), lines);
  }
}

TEST(SearchCD, ABadAddressFailsBeforeAnyLine) {
  testing::CapturedLog log;
  EXPECT_THROW(SearchCD{.baseURL = "file:///tmp"}("A", "B", {}, {}), TransportError);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace noru::lookup
