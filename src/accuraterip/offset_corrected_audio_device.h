#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/audio_device.h"

namespace noru::accuraterip {

// Reads a disc's audio where it really lies although the drive delivers it shifted by its read
// offset. A drive with read offset +N (the AccurateRip and EAC convention: positive when the
// drive delivers audio late) returns, for sample k of a read, the disc's sample k - N; so the
// disc's sample k is the drive's sample k + N, and a read of sectors [s, s + n) needs the
// drive's samples from 588·s + N on, which reach one sector further (or start one earlier for a
// negative offset) unless N is a multiple of 588. Inner reads still take at most 75 sectors:
// a request is split when the extra sector makes it longer.
//
// The drive cannot read before sector 0 or from `leadOut` on (the first sector after the last
// audio track); the samples the shift would take from there are silence. With offset 0 every
// call goes to the wrapped device unchanged.
//
// Sequential requests overlap by that extra sector: the drive's sector holding the end of one
// request also holds the start of the next. The wrapper keeps the last sector the drive
// delivered, by its number, and serves the next request's first sector from it, so a run of
// sequential requests reads each drive sector once (and one inner read per full request)
// instead of reading the shared sector again, often behind the head. One wrapper serves the
// reads of one disc, whichever descriptor they come through (sector numbers mean the same on
// every one); only the request that continues the last one is served from it, so a sector
// asked for again is read again; a failed read drops what was kept. One reader at a time: calls
// must not overlap.
class OffsetCorrectedAudioDevice : public platform::linux_cd::AudioDevice {
 public:
  OffsetCorrectedAudioDevice(std::shared_ptr<platform::linux_cd::AudioDevice> inner,
                             std::int32_t readOffset, std::int32_t leadOut);

  int open(const std::string& bsdName) override { return inner_->open(bsdName); }
  // Fills `sectors` corrected sectors from `firstSector`; 0, or -1 and errno as the wrapped
  // device left it (EINVAL for a count outside 1 to 75).
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  // The same, with the drive's C2 flags moved along with the audio.
  int readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors, std::uint8_t* buffer,
                       std::uint8_t* flagged) override;
  platform::linux_cd::C2Mode errorPointers(int descriptor) override {
    return inner_->errorPointers(descriptor);
  }
  int close(int descriptor) override { return inner_->close(descriptor); }

 private:
  std::shared_ptr<platform::linux_cd::AudioDevice> inner_;
  std::int32_t readOffset_;
  std::int32_t leadOut_;
  // The last drive sector the inner device delivered and its number; -1 when none is kept.
  std::int64_t keptSector_ = -1;
  std::int64_t continuation_ = -1;  // the first sector of the request that continues the last
  std::vector<std::uint8_t> kept_;
  std::vector<std::uint8_t> keptFlags_;
  std::vector<std::uint8_t> chunk_;  // reused for the inner reads
  std::vector<std::uint8_t> chunkFlags_;
};

}  // namespace noru::accuraterip
