#include "lookup/search_cd.h"

#include <gtest/gtest.h>

#include <functional>

#include "lookup/json_coding.h"

namespace noru::lookup {
namespace {

using platform::http::HttpRequest;
using platform::http::HttpResponse;
using platform::http::TransportError;

// The answer decodes whatever its status; one that does not decode, or none, is an error.
TEST(SearchCD, DecodesTheAnswerWhateverTheStatus) {
  std::function<HttpResponse()> answer;
  int sent = 0;
  SearchCD search{.send = [&](const HttpRequest&, std::stop_token) {
    ++sent;
    return answer();
  }};
  auto releasesIn = [&](HttpResponse response) {
    answer = [response] { return response; };
    return search("Artist", "Album", {}, {}).releases.size();
  };
  EXPECT_EQ(releasesIn({.statusCode = 404,
                        .body = R"({"releases":[{"release_mbid":"r","title":"T",)"
                                R"("artist_credit":"A","tracks":[]}]})"}),
            1u);
  EXPECT_EQ(releasesIn({.body = R"({"releases":[]})"}), 0u);  // no HTTP status
  EXPECT_THROW(releasesIn({.statusCode = 500, .body = "<html>oops</html>"}), DecodingError);
  answer = []() -> HttpResponse { throw TransportError(TransportError::Kind::timedOut); };
  EXPECT_THROW(search("Artist", "Album", {}, {}), TransportError);
  EXPECT_EQ(sent, 4);

  search.baseURL = "file:///tmp";
  EXPECT_THROW(search("A", "B", {}, {}), TransportError);
  EXPECT_EQ(sent, 4) << "a bad address is refused before anything is sent";
}

}  // namespace
}  // namespace noru::lookup
