#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stop_token>
#include <vector>

#include "ctdb/disc_crcs.h"
#include "ctdb/rip_syndromes.h"
#include "disc/cd_track_info.h"
#include "disc/disc_reader.h"
#include "rip/album_folder.h"
#include "rip/kept_audio.h"
#include "rip/overlapped_writes.h"
#include "rip/rip_cd_track.h"
#include "rip/test_and_copy.h"
#include "rip/track_verifications.h"
#include "rip/write_rip_log.h"
#include "state/app_store.h"

namespace noru::rip {

// The reads of an import's tracks, one after another: each track read (its doubtful sectors
// settled) and logged, then written and verified on a task of its own while the drive reads the
// next tracks (see OverlappedWrites), and a track that no database confirms read a second time
// and compared with the first once its verdict is known (at once, while its file is written,
// when the verdict is known by the end of the first read; after the first pass otherwise).
// Where the two reads disagreed, the settled audio is verified again and replaces the file's
// once the first file is in place. Every step is reported through the context's dispatch as
// ripping actions: a track's damage and verdict as soon as its read tells them, its completion
// by the task that wrote its file. Failures and stops are raised as the reads and writes raise
// them, the first failed write's failure before a stop it caused.
class ReadTracks {
 public:
  // What the CUETools database needs of the audio as it is kept, each when given: its CRCs,
  // its syndromes, and the audio itself of the tracks that no database confirmed when they were
  // read, while `mayRepair` says a repair may still need it.
  struct ForCTDB {
    ctdb::DiscCRCs* crcs = nullptr;
    ctdb::RipSyndromes* syndromes = nullptr;
    KeptAudio* kept = nullptr;
    std::function<bool()> mayRepair;
    std::int32_t audioStart = 0;  // the first audio track's first sector
  };

  struct Context {
    const RipCDTrack& ripTrack;
    disc::DiscReader& reader;
    TrackVerifications& verifications;
    RipLog& log;
    AlbumFolder& album;
    const state::Dispatch& dispatch;
    std::stop_token stop;
    std::size_t trackCount;
    // Whether a track that no database confirms is read a second time and compared.
    bool readUnconfirmedTwice = true;
    // What the CUETools database needs of the audio as it is kept.
    ForCTDB ctdb;
  };

  ReadTracks(Context context, OverlappedWrites::Bounds bounds)
      : c_(std::move(context)), writes_(bounds, c_.stop) {}

  // Reads and reports the track at `index` among the disc's audio tracks and has its file
  // written, and decides at once whether it needs a second read if the database has answered.
  void rip(std::size_t index, const disc::CDTrackInfo& track, const TrackMetadata& metadata);
  // Decides the tracks read before the database answered (a track either database confirms
  // is not read again), and waits until every file is in place; call it once both answers are
  // there.
  void finish();
  // Whether the syndromes describe the audio that is kept: not when a track settled to other
  // audio whose first audio was not kept.
  bool syndromesAreCurrent() const { return syndromesAreCurrent_; }
  // Has the track at `index`, whose kept audio a repair corrected, written again from it;
  // finish() waits for it. Raises std::system_error when the kept audio cannot be read.
  void writeRepaired(std::size_t index);

 private:
  struct Waiting {
    std::size_t index;
    disc::CDTrackInfo track;
    TrackMetadata metadata;
    accuraterip::TrackChecksumValues checksums;
    CopyRead copy;
    std::size_t logIndex;
  };

  RipCDTrack::Progress progressOf(std::int64_t number) const;
  RipCDTrack::Progress againProgressOf(std::int64_t number) const;
  // Reads with `read`, raising a failed write's failure rather than the stop it caused.
  template <class Read>
  auto reading(Read read) -> decltype(read());
  // Has the track's file written from `pcm` on a task of its own; `placed` hears of it once it
  // is in place.
  void write(const Waiting& waiting, std::vector<std::uint8_t> pcm,
             std::function<void(const std::filesystem::path&)> placed = {});
  bool isConfirmed(std::int64_t number) const;
  void decide(const Waiting& waiting);
  TestRead readAgain(const Waiting& waiting);
  void keepSecondRead(const Waiting& waiting, TestRead test);
  std::int64_t startSampleOf(const disc::CDTrackInfo& track) const;
  // Hands a track's first read to what the CUETools database needs of it.
  void takeForCTDB(const Waiting& waiting, std::span<const std::uint8_t> pcm, bool confirmed);
  // The same for audio that a second read settled in place of the first.
  void retakeForCTDB(const Waiting& waiting, std::span<const std::uint8_t> pcm);

  Context c_;
  OverlappedWrites writes_;
  TestAndCopy testAndCopy_;
  std::vector<Waiting> waiting_;
  std::map<std::size_t, Waiting> kept_;  // by index, the tracks whose audio is kept
  bool syndromesAreCurrent_ = true;
};

}  // namespace noru::rip
