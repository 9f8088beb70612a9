#include "disc/settle_suspects.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::disc {
namespace {

using platform::linux_cd::kAudioSectorBytes;
using platform::linux_cd::kMaxSectorsPerRead;
using platform::linux_cd::kSamplesPerSector;

// Suspects settled together, so that the reads of many sectors stay within bounds in memory.
constexpr std::size_t kSectorsAtOnce = 1000;
constexpr int kUnflaggedWeight = 2;
constexpr int kFlaggedWeight = 1;
constexpr int kSettledMargin = 2 * kUnflaggedWeight;

struct SectorRead {
  std::array<std::uint8_t, kAudioSectorBytes> audio;
  std::array<std::uint8_t, kSamplesPerSector> flags;
};

std::uint32_t sampleOf(const std::uint8_t* audio, int sample) {
  std::uint32_t value = 0;
  std::memcpy(&value, audio + std::size_t(sample) * 4, 4);
  return value;
}

// Weighs the reads of one sector sample by sample; writes the value that weighs most into
// `audio` and tells whether every sample is settled.
bool weigh(const std::vector<SectorRead>& reads, std::uint8_t* audio) {
  bool settled = true;
  std::vector<std::pair<std::uint32_t, int>> weights;  // value and weight
  for (int sample = 0; sample < kSamplesPerSector; ++sample) {
    weights.clear();
    for (const auto& read : reads) {
      const auto value = sampleOf(read.audio.data(), sample);
      const int weight = read.flags[sample] != 0 ? kFlaggedWeight : kUnflaggedWeight;
      const auto found = std::ranges::find(weights, value, &std::pair<std::uint32_t, int>::first);
      if (found != weights.end()) {
        found->second += weight;
      } else {
        weights.emplace_back(value, weight);
      }
    }
    std::ranges::stable_sort(weights, std::greater{}, &std::pair<std::uint32_t, int>::second);
    const int best = weights.empty() ? 0 : weights[0].second;
    const int second = weights.size() > 1 ? weights[1].second : 0;
    settled = settled && best - second >= kSettledMargin;
    if (!weights.empty()) {
      std::memcpy(audio + std::size_t(sample) * 4, &weights[0].first, 4);
    }
  }
  return settled;
}

// Settles one group of suspects; returns those that never settled. `roundDone` hears of each
// round's end.
std::vector<std::int32_t> settleGroup(DiscReader& reader, std::span<std::uint8_t> audio,
                                      std::int32_t start, std::vector<std::int32_t> pending,
                                      const std::stop_token& stop,
                                      const std::function<void(int round)>& roundDone) {
  std::map<std::int32_t, std::vector<SectorRead>> reads;
  const auto readInto = [&](std::int32_t first, int count) {
    std::vector<std::uint8_t> buffer(std::size_t(count) * kAudioSectorBytes);
    std::vector<std::uint8_t> flags(std::size_t(count) * kSamplesPerSector);
    if (reader.read(first, count, buffer.data(), flags.data()) != 0) {
      return false;
    }
    for (int index = 0; index < count; ++index) {
      SectorRead& read = reads[first + index].emplace_back();
      std::memcpy(read.audio.data(), buffer.data() + std::size_t(index) * kAudioSectorBytes,
                  kAudioSectorBytes);
      std::memcpy(read.flags.data(), flags.data() + std::size_t(index) * kSamplesPerSector,
                  kSamplesPerSector);
    }
    return true;
  };
  const auto at = [&](std::int32_t sector) {
    return audio.data() + std::size_t(sector - start) * kAudioSectorBytes;
  };

  std::vector<std::int32_t> givenUp;
  std::map<std::int32_t, int> failuresInARow;
  for (int round = 0; round < SettleSuspects::kMostReads && !pending.empty(); ++round) {
    std::map<std::int32_t, std::size_t> readsBefore;
    for (const auto sector : pending) {
      readsBefore[sector] = reads[sector].size();
    }
    reader.emptyCacheOf({pending.front(), pending.back() - pending.front() + 1}, stop);
    for (const auto stretch : stretchesOf(pending)) {
      for (std::int32_t sector = stretch.first; sector < stretch.end();) {
        platform::tasks::throwIfCancelled(stop);
        const int count = std::min(stretch.end() - sector, kMaxSectorsPerRead);
        if (!readInto(sector, count) && count > 1) {
          for (std::int32_t one = sector; one < sector + count; ++one) {
            readInto(one, 1);
          }
        }
        sector += count;
      }
    }
    std::erase_if(pending, [&](std::int32_t sector) {
      const auto& sectorReads = reads[sector];
      const bool failed = sectorReads.size() == readsBefore[sector];
      failuresInARow[sector] = failed ? failuresInARow[sector] + 1 : 0;
      if (failuresInARow[sector] >= SettleSuspects::kFailuresInARow) {
        givenUp.push_back(sector);
        return true;
      }
      return !sectorReads.empty() && weigh(sectorReads, at(sector));
    });
    roundDone(round);
  }
  pending.insert(pending.end(), givenUp.begin(), givenUp.end());
  std::ranges::sort(pending);
  return pending;
}

}  // namespace

Settlement SettleSuspects::operator()(DiscReader& reader, std::span<std::uint8_t> audio,
                                      std::int32_t start, const std::vector<std::int32_t>& suspects,
                                      const std::stop_token& stop, const Progress& progress) const {
  Settlement settlement;
  const auto groups = static_cast<double>((suspects.size() + kSectorsAtOnce - 1) / kSectorsAtOnce);
  if (progress && !suspects.empty()) {
    progress(0.0);
  }
  for (std::size_t from = 0; from < suspects.size(); from += kSectorsAtOnce) {
    const auto to = std::min(suspects.size(), from + kSectorsAtOnce);
    const auto roundDone = [&](int round) {
      if (progress) {
        progress((static_cast<double>(from / kSectorsAtOnce) + (round + 1.0) / kMostReads) /
                 groups);
      }
    };
    auto unsettled = settleGroup(reader, audio, start,
                                 {suspects.begin() + from, suspects.begin() + to}, stop, roundDone);
    settlement.unsettled.insert(settlement.unsettled.end(), unsettled.begin(), unsettled.end());
  }
  if (!suspects.empty()) {
    platform::log::diagnostic("SettleSuspects: ", suspects.size(), " sector(s) read again, ",
                              settlement.unsettled.size(), " never settled");
  }
  return settlement;
}

}  // namespace noru::disc
