#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "disc/cd_track_info.h"
#include "disc/disc_reader.h"
#include "rip/album_folder.h"
#include "rip/rip_cd_track.h"
#include "rip/test_and_copy.h"
#include "rip/track_verifications.h"
#include "rip/write_rip_log.h"
#include "state/app_store.h"

namespace noru::rip {

// The reads of an import's tracks, one after another: each track read (its doubtful sectors
// settled), written, logged and verified, and a track that no database confirms read a second
// time and compared with the first once its verdict is known (while its file is written, when
// the verdict is known by the end of the first read). Where the two reads disagreed,
// the settled audio replaces the file's and is verified again. Every step is reported through
// the context's dispatch as ripping actions; failures and stops are raised as the reads and
// writes raise them.
class ReadTracks {
 public:
  struct Context {
    const RipCDTrack& ripTrack;
    disc::DiscReader& reader;
    TrackVerifications& verifications;
    RipLog& log;
    AlbumFolder& album;
    const state::Dispatch& dispatch;
    std::stop_token stop;
    std::size_t trackCount;
  };

  explicit ReadTracks(Context context) : c_(std::move(context)) {}

  // Reads, writes and reports the track at `index` among the disc's audio tracks, and decides
  // at once whether it needs a second read if the database has answered.
  void rip(std::size_t index, const disc::CDTrackInfo& track, const TrackMetadata& metadata);
  // Decides the tracks read before the database answered; call it once the answer is there.
  void decideWaiting();

 private:
  struct Waiting {
    std::size_t index;
    disc::CDTrackInfo track;
    TrackMetadata metadata;
    CopyRead copy;
    std::size_t logIndex;
  };

  RipCDTrack::Progress progressOf(std::int64_t number) const;
  RipCDTrack::Progress againProgressOf(std::int64_t number) const;
  bool isConfirmed(std::int64_t number) const;
  void decide(const Waiting& waiting);
  TestRead readAgain(const Waiting& waiting);
  void keepSecondRead(const Waiting& waiting, const TestRead& test);

  Context c_;
  TestAndCopy testAndCopy_;
  std::vector<Waiting> waiting_;
};

}  // namespace noru::rip
