#include "lookup/lookup_cd.h"

#include <utility>

#include "lookup/json_coding.h"
#include "lookup/second_source.h"
#include "lookup/service_request.h"

namespace noru::lookup {

LookupCD::Request LookupCD::Request::from(const disc::CDDiscInfo& disc) {
  Request request{
      .firstTrack = 1,
      .lastTrack = static_cast<std::int64_t>(disc.tracks.size()),
      .leadOutOffset = disc.totalSectors,
  };
  request.trackOffsets.reserve(disc.tracks.size());
  for (const auto& track : disc.tracks) {
    request.trackOffsets.push_back(track.startSector);
  }
  return request;
}

std::string LookupCD::Request::encode() const {
  return encodeCompact({
      {toSnakeCase("firstTrack"), firstTrack},
      {toSnakeCase("lastTrack"), lastTrack},
      {toSnakeCase("leadOutOffset"), leadOutOffset},
      {toSnakeCase("trackOffsets"), trackOffsets},
  });
}

LookupCD::Track LookupCD::Track::decode(const JsonObjectReader& object) {
  return Track{
      .number = object.integer("number"),
      .title = object.text("title"),
      .artistCredit = object.text("artistCredit"),
      .lengthMs = object.optionalInteger("lengthMs"),
      .recordingMbid = object.optionalText("recordingMbid"),
  };
}

LookupCD::Release LookupCD::Release::decode(const JsonObjectReader& object) {
  return Release{
      .releaseMbid = object.text("releaseMbid"),
      .releaseGroupMbid = object.optionalText("releaseGroupMbid"),
      .title = object.text("title"),
      .artistCredit = object.text("artistCredit"),
      .artistMbid = object.optionalText("artistMbid"),
      .date = object.optionalText("date"),
      .country = object.optionalText("country"),
      .tracks = object.objects("tracks", &Track::decode),
      .caaId = object.optionalInteger("caaId"),
      .caaReleaseMbid = object.optionalText("caaReleaseMbid"),
  };
}

disc::CDLookupRelease LookupCD::Release::toCDLookupRelease() const {
  disc::CDLookupRelease record{
      .id = releaseMbid,
      .releaseGroupMbid = releaseGroupMbid,
      .title = title,
      .artistCredit = artistCredit,
      .artistMbid = artistMbid,
      .date = date,
      .country = country,
      .caaId = caaId,
      .caaReleaseMbid = caaReleaseMbid,
      .discNumber = discNumber,
      .discTotal = discTotal,
  };
  record.tracks.reserve(tracks.size());
  for (const auto& track : tracks) {
    record.tracks.push_back(disc::CDLookupTrack{
        .number = track.number,
        .title = track.title,
        .artistCredit = track.artistCredit,
        .lengthMs = track.lengthMs,
        .recordingMbid = track.recordingMbid,
    });
  }
  return record;
}

LookupCD::Response LookupCD::Response::decode(std::string_view body) {
  const auto document = parseJson(body);
  const JsonObjectReader object(document, "");
  return Response{
      .discId = object.optionalText("discId"),
      .releases = object.objects("releases", &Release::decode),
  };
}

std::vector<disc::CDLookupRelease> LookupCD::Response::cdLookupReleases() const {
  std::vector<disc::CDLookupRelease> records;
  records.reserve(releases.size());
  for (const auto& release : releases) {
    records.push_back(release.toCDLookupRelease());
  }
  return records;
}

LookupCD::Response LookupCD::operator()(const disc::CDDiscInfo& disc, std::stop_token stop) const {
  auto request = serviceRequest(services_.metadataService + "/v1/cd/lookup", kIdleTimeout);
  request.body = Request::from(disc).encode();
  return askWithSecondSource<Response>(
      [&] { return Response::decode(services_.send(request, stop).body); },
      secondSource_ ? [&] { return secondSource_(disc, stop); } : std::function<Response()>(),
      "LookupCD");
}

}  // namespace noru::lookup
