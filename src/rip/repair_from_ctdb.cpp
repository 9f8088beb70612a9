#include "rip/repair_from_ctdb.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <set>
#include <system_error>

#include "ctdb/fetch_ctdb_answer.h"
#include "ctdb/nearest_offset.h"
#include "platform/http/transport_error.h"
#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

using platform::log::diagnostic;

// The entries that can repair a rip of `trackCount` tracks, most confident first.
std::vector<const ctdb::CTDBEntry*> repairingEntries(const std::vector<ctdb::CTDBEntry>& entries,
                                                     std::size_t trackCount) {
  std::vector<const ctdb::CTDBEntry*> found;
  for (const auto& entry : entries) {
    if (entry.syndromes && entry.npar > 0 && !entry.syndrome.empty() &&
        entry.stride == ctdb::RipSyndromes::kRowSamples && entry.trackCRCs.size() == trackCount) {
      found.push_back(&entry);
    }
  }
  std::ranges::stable_sort(found, std::greater{}, &ctdb::CTDBEntry::confidence);
  return found;
}

// The offsets at which the rip may be the entry's audio, the likeliest first: where column 0's
// syndromes are the entry's, or, when column 0 is damaged, where a track's CRC is.
std::vector<std::int32_t> offsetsOf(const ctdb::CTDBEntry& entry,
                                    const ctdb::RipSyndromes& syndromes,
                                    const ctdb::DiscCRCs::AtOffsets& crcs) {
  if (const auto offset = syndromes.offsetOf(entry.syndrome)) {
    return {*offset};
  }
  std::vector<std::int32_t> offsets;
  for (std::size_t track = 0; track < entry.trackCRCs.size(); ++track) {
    const auto wanted = entry.trackCRCs[track];
    const auto offset = wanted == 0 ? std::nullopt : ctdb::nearestOffset([&](std::int32_t o) {
      return crcs.track(track, o) == wanted;
    });
    if (offset && std::ranges::find(offsets, *offset) == offsets.end()) {
      offsets.push_back(*offset);
    }
  }
  return offsets;
}

// 4, 8, then 16 syndromes a column, as far as the entry has them.
std::vector<std::size_t> stepsOf(const ctdb::CTDBEntry& entry) {
  const auto most = std::min(static_cast<std::size_t>(entry.npar), ctdb::RipSyndromes::kSyndromes);
  std::vector<std::size_t> steps;
  for (std::size_t count = 4; count < most; count *= 2) {
    steps.push_back(count);
  }
  steps.push_back(most);
  return steps;
}

// The track of `sample`, by index.
std::size_t trackOf(const std::vector<ctdb::SampleRange>& tracks, std::int64_t sample) {
  const auto after = std::ranges::upper_bound(tracks, sample, {}, &ctdb::SampleRange::from);
  return static_cast<std::size_t>(after - tracks.begin()) - 1;
}

void apply(const std::vector<ctdb::WordCorrection>& corrections,
           const std::vector<ctdb::SampleRange>& tracks,
           std::map<std::size_t, MappedAudio>& mapped) {
  for (const auto& correction : corrections) {
    const auto index = trackOf(tracks, correction.sample);
    const auto byte = static_cast<std::size_t>(correction.sample - tracks[index].from) * 4 +
                      static_cast<std::size_t>(correction.channel) * 2;
    auto bytes = mapped.at(index).bytes();
    bytes[byte] ^= static_cast<std::uint8_t>(correction.value);
    bytes[byte + 1] ^= static_cast<std::uint8_t>(correction.value >> 8);
  }
}

// Makes the corrections in the kept audio and keeps them if the disc's CRC at `offset` then is
// the entry's; the corrected samples by track when it is.
std::optional<std::map<std::size_t, std::int64_t>> correct(
    const std::vector<ctdb::WordCorrection>& corrections, const ctdb::CTDBEntry& entry,
    std::int32_t offset, ctdb::DiscCRCs& crcs, const KeptAudio& kept,
    const std::vector<ctdb::SampleRange>& tracks) {
  std::map<std::size_t, std::set<std::int64_t>> samples;
  for (const auto& correction : corrections) {
    samples[trackOf(tracks, correction.sample)].insert(correction.sample);
  }
  std::map<std::size_t, MappedAudio> mapped;
  for (const auto& [index, corrected] : samples) {
    mapped.try_emplace(index, kept.fileOf(index));
  }
  apply(corrections, tracks, mapped);
  auto repaired = crcs;
  for (const auto& [index, audio] : mapped) {
    repaired.setTrack(index, audio.bytes());
  }
  const auto atOffsets = repaired.atOffsets();
  if (samples.empty() || !atOffsets || atOffsets->disc(offset) != entry.crc32) {
    apply(corrections, tracks, mapped);  // XOR again: as it was
    return std::nullopt;
  }
  crcs = std::move(repaired);
  std::map<std::size_t, std::int64_t> counts;
  for (const auto& [index, corrected] : samples) {
    counts[index] = static_cast<std::int64_t>(corrected.size());
  }
  return counts;
}

}  // namespace

CTDBRepair RepairFromCTDB::operator()(const std::vector<ctdb::CTDBEntry>& entries,
                                      const ctdb::RipSyndromes& syndromes, ctdb::DiscCRCs& crcs,
                                      KeptAudio& kept, const std::vector<ctdb::SampleRange>& tracks,
                                      const std::stop_token& stop) const {
  const auto candidates = repairingEntries(entries, tracks.size());
  const auto atOffsets = crcs.atOffsets();
  if (candidates.empty() || !atOffsets) {
    return {.result = CTDBRepair::Result::noSyndromes};
  }
  std::vector<ctdb::SampleRange> suspect;
  for (const auto index : kept.held()) {
    suspect.push_back(tracks[index]);
  }
  bool fetched = false;
  std::string failure;
  for (const auto* entry : candidates) {
    const auto offsets = offsetsOf(*entry, syndromes, *atOffsets);
    for (const auto count : offsets.empty() ? std::vector<std::size_t>{} : stepsOf(*entry)) {
      std::vector<std::uint16_t> file;
      try {
        file = fetch_(*entry, static_cast<int>(count), stop);
      } catch (const ctdb::CTDBAnswerError& error) {
        failure = error.what();
      } catch (const platform::http::TransportError& error) {
        failure = error.what();
      }
      if (file.empty()) {
        diagnostic("RepairFromCTDB: the syndromes of entry ", entry->id, " \u2014 ", failure);
        break;
      }
      fetched = true;
      for (const auto offset : offsets) {
        const auto corrections = ctdb::findRepair(syndromes, file, count, offset, suspect, stop);
        if (!corrections) {
          continue;
        }
        std::optional<std::map<std::size_t, std::int64_t>> counts;
        try {
          counts = correct(*corrections, *entry, offset, crcs, kept, tracks);
        } catch (const std::system_error& error) {
          diagnostic("RepairFromCTDB: the kept audio \u2014 ", error.what());
          return {.result = CTDBRepair::Result::notRepairable};
        }
        if (counts) {
          const auto index = static_cast<std::size_t>(entry - entries.data());
          return {.result = CTDBRepair::Result::repaired,
                  .match = {index, offset, entry->confidence},
                  .correctedSamples = std::move(*counts)};
        }
        diagnostic("RepairFromCTDB: corrections from ", count, " syndromes of entry ", entry->id,
                   " do not give its CRC");
      }
    }
  }
  if (!fetched && !failure.empty()) {
    return {.result = CTDBRepair::Result::notFetched, .failure = failure};
  }
  return {.result = CTDBRepair::Result::notRepairable};
}

}  // namespace noru::rip
