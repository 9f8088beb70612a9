// Any body as the metadata service's answer to a disc lookup or a text search: decoding either
// succeeds or raises DecodingError, nothing else. A decoded response written back in the
// service's format must decode to the same response. The same body as a MusicBrainz answer
// listing releases: decoded whole and mapped for a disc, or refused with DecodingError.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "lookup/json_coding.h"
#include "lookup/lookup_cd.h"
#include "musicbrainz/musicbrainz_release.h"

namespace {

using noru::lookup::LookupCD;
using noru::lookup::toSnakeCase;
using Json = nlohmann::ordered_json;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "decode_lookup_response_fuzzer: %s\n", what);
  std::abort();
}

template <class Value>
void putOptional(Json& object, std::string_view field, const std::optional<Value>& value) {
  if (value) {
    object[toSnakeCase(field)] = *value;
  }
}

// The service's document for `response`: member names in snake case, absent optionals left out.
std::string encode(const LookupCD::Response& response) {
  Json document = Json::object();
  putOptional(document, "discId", response.discId);
  Json releases = Json::array();
  for (const auto& release : response.releases) {
    Json object = Json::object();
    object[toSnakeCase("releaseMbid")] = release.releaseMbid;
    putOptional(object, "releaseGroupMbid", release.releaseGroupMbid);
    object[toSnakeCase("title")] = release.title;
    object[toSnakeCase("artistCredit")] = release.artistCredit;
    putOptional(object, "artistMbid", release.artistMbid);
    putOptional(object, "date", release.date);
    putOptional(object, "country", release.country);
    Json tracks = Json::array();
    for (const auto& track : release.tracks) {
      Json item = Json::object();
      item[toSnakeCase("number")] = track.number;
      item[toSnakeCase("title")] = track.title;
      item[toSnakeCase("artistCredit")] = track.artistCredit;
      putOptional(item, "lengthMs", track.lengthMs);
      putOptional(item, "recordingMbid", track.recordingMbid);
      tracks.push_back(std::move(item));
    }
    object[toSnakeCase("tracks")] = std::move(tracks);
    putOptional(object, "caaId", release.caaId);
    putOptional(object, "caaReleaseMbid", release.caaReleaseMbid);
    releases.push_back(std::move(object));
  }
  document[toSnakeCase("releases")] = std::move(releases);
  return document.dump();
}

void decodeAsMusicBrainzAnswer(std::string_view body) {
  try {
    const std::vector<std::int64_t> durations = {200000, 199000};
    for (const auto& release : noru::musicbrainz::decodeReleases(noru::lookup::parseJson(body))) {
      const auto* medium = release.mediumFor("disc-id", durations);
      if (!release.media.empty() && medium == nullptr) {
        fail("a release with media and no medium for the disc");
      }
      if (release.withTracksOf(medium).releaseMbid != release.release.releaseMbid) {
        fail("a mapped release that is not its release");
      }
    }
  } catch (const noru::lookup::DecodingError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  decodeAsMusicBrainzAnswer(body);
  std::optional<LookupCD::Response> response;
  try {
    response = LookupCD::Response::decode(body);
  } catch (const noru::lookup::DecodingError&) {
    return 0;
  }
  const auto records = response->cdLookupReleases();
  if (records.size() != response->releases.size()) {
    fail("records and releases differ in number");
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].id != response->releases[i].releaseMbid ||
        records[i].tracks.size() != response->releases[i].tracks.size()) {
      fail("a record that is not its release");
    }
  }
  // Texts the parser accepted are valid UTF-8, so they can be written back.
  if (LookupCD::Response::decode(encode(*response)) != *response) {
    fail("a response that does not survive being written back");
  }
  return 0;
}
