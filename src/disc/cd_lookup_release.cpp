#include "disc/cd_lookup_release.h"

#include "disc/record_hasher.h"

std::size_t std::hash<noru::disc::CDLookupTrack>::operator()(
    const noru::disc::CDLookupTrack& track) const noexcept {
  return noru::disc::RecordHasher()
      .add(track.number)
      .add(track.title)
      .add(track.artistCredit)
      .add(track.lengthMs)
      .add(track.recordingMbid)
      .value();
}

std::size_t std::hash<noru::disc::CDLookupRelease>::operator()(
    const noru::disc::CDLookupRelease& release) const noexcept {
  noru::disc::RecordHasher hasher;
  hasher.add(release.id)
      .add(release.releaseGroupMbid)
      .add(release.title)
      .add(release.artistCredit)
      .add(release.artistMbid)
      .add(release.date)
      .add(release.country);
  hasher.add(release.tracks.size());
  for (const auto& track : release.tracks) {
    hasher.add(track);
  }
  return hasher.add(release.caaId)
      .add(release.caaReleaseMbid)
      .add(release.discNumber)
      .add(release.discTotal)
      .value();
}
