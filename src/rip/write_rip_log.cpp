#include "rip/write_rip_log.h"

#include <ctime>
#include <iomanip>
#include <sstream>
#include <string>

#include "platform/http/program_identity.h"

namespace noru::rip {
namespace {

std::string localDate(std::chrono::system_clock::time_point date) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) > 0 ? text : "";
}

std::string driveText(const disc::CDDrive& drive) {
  if (drive.vendor.empty() && drive.model.empty()) {
    return drive.name;
  }
  return "vendor \"" + drive.vendor + "\", model \"" + drive.model + "\"";
}

std::string readOffsetText(const ReadOffset& offset) {
  using Source = ReadOffset::Source;
  std::string samples = (offset.samples > 0 ? "+" : "") + std::to_string(offset.samples);
  switch (offset.source) {
    case Source::discImage:
      return "none (a disc image is read exactly as it was written)";
    case Source::driveOffsetList:
      return samples + " samples (from the AccurateRip drive offset list)";
    case Source::notInList:
      return "unknown, read uncorrected (the drive is not in the AccurateRip drive offset list)";
    case Source::listUnavailable:
      return "unknown, read uncorrected (no AccurateRip drive offset list: " + offset.failure + ")";
    case Source::driveUnidentified:
      return "unknown, read uncorrected (the drive reports no vendor and model)";
  }
  return samples;
}

// What a database answered; `found` tells what it holds when it knows the disc.
std::string answerText(AccurateRipAnswer::Status status, const std::string& failure,
                       const std::string& found) {
  using Status = AccurateRipAnswer::Status;
  switch (status) {
    case Status::found:
      return "disc found (" + found + ")";
    case Status::notInDatabase:
      return "disc not in the database";
    case Status::notReached:
      return "database not reached (" + failure + ")";
    case Status::unreadable:
      return "the database answered with something that could not be read (" + failure + ")";
    case Status::notAsked:
      return "not asked (" + failure + ")";
  }
  return {};
}

std::string answerText(const std::optional<AccurateRipAnswer>& answer) {
  if (!answer) {
    return "no answer";
  }
  const auto count = answer->pressings.size();
  return answerText(answer->status, answer->failure,
                    std::to_string(count) + (count == 1 ? " pressing" : " pressings"));
}

// What became of a repair that was tried, for the database's line.
std::string repairText(const std::optional<CTDBRepair>& repair) {
  using Result = CTDBRepair::Result;
  if (!repair) {
    return {};
  }
  switch (repair->result) {
    case Result::repaired: {
      std::int64_t samples = 0;
      for (const auto& [index, corrected] : repair->correctedSamples) {
        samples += corrected;
      }
      return ", after a repair of " + std::to_string(samples) + " samples from its syndromes";
    }
    case Result::notRepairable:
      return "; the damage is beyond what the entries' syndromes can repair";
    case Result::noSyndromes:
      return "; no entry has syndromes to repair it from";
    case Result::notFetched:
      return "; the syndromes to repair it could not be fetched (" + repair->failure + ")";
  }
  return {};
}

std::string ctdbText(const std::optional<CTDBAnswer>& answer,
                     const std::optional<ctdb::RipVerdict>& verdict,
                     const std::optional<CTDBRepair>& repair) {
  if (!answer) {
    return "no answer";
  }
  const auto count = answer->entries.size();
  std::string text = answerText(answer->status, answer->failure,
                                std::to_string(count) + (count == 1 ? " entry" : " entries"));
  if (answer->status != AccurateRipAnswer::Status::found || !verdict) {
    return text;
  }
  if (!verdict->disc) {
    return text + "; no entry holds the whole disc" + repairText(repair);
  }
  const auto& match = *verdict->disc;
  return text + "; the whole disc matches entry " + answer->entries[match.entry].id +
         " (confidence " + std::to_string(match.confidence) + ") at offset " +
         (match.offset > 0 ? "+" : "") + std::to_string(match.offset) + repairText(repair);
}

std::string unverifiableReason(const std::optional<AccurateRipAnswer>& answer) {
  using Status = AccurateRipAnswer::Status;
  if (!answer) {
    return "no answer from the database";
  }
  switch (answer->status) {
    case Status::found:
      return "no value for this track in the database";
    case Status::notInDatabase:
      return "disc not in the database";
    case Status::notReached:
      return "database not reached";
    case Status::unreadable:
      return "the database's answer could not be read";
    case Status::notAsked:
      return answer->failure;
  }
  return {};
}

std::string verdictText(const std::optional<accuraterip::TrackVerification>& verdict,
                        const std::optional<AccurateRipAnswer>& answer) {
  if (verdict) {
    if (const auto* accurate = std::get_if<accuraterip::Accurate>(&*verdict)) {
      if (accurate->repairedSamples > 0) {
        return "repaired (CUETools database, " + std::to_string(accurate->repairedSamples) +
               " samples corrected, confidence " + std::to_string(accurate->confidence) + ")";
      }
      if (accurate->database == accuraterip::Database::cueToolsDatabase) {
        return "accurate (CUETools database, confidence " + std::to_string(accurate->confidence) +
               ")";
      }
      return "accurate (confidence " + std::to_string(accurate->confidence) +
             (accurate->version == accuraterip::ChecksumVersion::v2 ? ", v2)" : ", v1)");
    }
    if (std::holds_alternative<accuraterip::NotAccurate>(*verdict)) {
      return "not accurate";
    }
  }
  return "could not be verified (" + unverifiableReason(answer) + ")";
}

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << std::uppercase << std::hex << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

std::string sectorRange(const disc::CDTrackInfo& track) {
  return std::to_string(track.startSector) + "-" +
         std::to_string(std::int64_t{track.startSector} + track.sectorCount - 1);
}

std::string errorPointersText(platform::linux_cd::C2Mode mode) {
  using platform::linux_cd::C2Mode;
  switch (mode) {
    case C2Mode::none:
      return "none";
    case C2Mode::bits294:
      return "C2, 294 bytes a sector";
    case C2Mode::bits296:
      return "C2, 296 bytes a sector";
  }
  return {};
}

std::string passesText(const RipLogTrack& ripped) {
  std::string text = std::to_string(ripped.passes) + " (Copy CRC " + hex(ripped.copyCRC);
  if (ripped.testCRC) {
    text += ", Test CRC " + hex(*ripped.testCRC) +
            (ripped.copyCRC == *ripped.testCRC ? ", equal" : ", different");
  }
  return text + ")";
}

std::string damageText(const std::vector<disc::SectorStretch>& damaged) {
  if (damaged.empty()) {
    return "none";
  }
  std::string text;
  for (const auto& stretch : damaged) {
    text += (text.empty() ? "" : ", ") + disc::stretchText(stretch);
  }
  return text;
}

std::string hiddenTrackText(const HiddenTrack& hidden) {
  std::string text = std::to_string(hidden.sectors) + " sectors before track 1, ";
  switch (hidden.outcome) {
    case HiddenTrack::Outcome::imported:
      return text + "imported as \"" + hidden.file.filename().string() + "\" (CRC-32 " +
             hex(hidden.crc32) + "; no database holds it)";
    case HiddenTrack::Outcome::silent:
      return text + "digital silence, not imported";
    case HiddenTrack::Outcome::unreadable:
      return text + "not imported: the drive does not read them (" + hidden.failure + ")";
  }
  return text;
}

// What was done with a track mastered with pre-emphasis; nothing for the others.
std::string preEmphasisText(const disc::CDTrackInfo& track, disc::AudioFormat format) {
  if (!track.preEmphasis) {
    return {};
  }
  return isLossless(format) ? "  Pre-emphasis: flagged; the file keeps the audio as read and is "
                              "tagged PRE_EMPHASIS\n"
                            : "  Pre-emphasis: flagged; the file holds the audio de-emphasised "
                              "(the checksums are of the audio as read)\n";
}

std::string logText(const RipLog& log, disc::AudioFormat format) {
  std::ostringstream text;
  text << platform::http::kProgramName << ' ' << platform::http::kProgramVersion << "\n"
       << "Date: " << localDate(log.date) << "\n"
       << "Drive: " << driveText(log.drive) << "\n"
       << "Read offset: " << readOffsetText(log.readOffset) << "\n"
       << "AccurateRip: " << answerText(log.answer) << "\n"
       << "CUETools database: " << ctdbText(log.ctdb, log.ctdbVerdict, log.ctdbRepair) << "\n\n"
       << "Table of contents\n"
       << "  Track  " << std::left << std::setw(14) << "Sector range" << std::right << "Sectors\n";
  for (const auto& track : log.tableOfContents) {
    text << "  " << std::setw(5) << track.number << "  " << std::left << std::setw(14)
         << sectorRange(track) << std::right << track.sectorCount << "\n";
  }
  if (!log.tableOfContents.empty()) {
    const auto& last = log.tableOfContents.back();
    text << "  Lead-out: " << std::int64_t{last.startSector} + last.sectorCount << "\n";
  }
  if (log.hiddenTrack) {
    text << "  Hidden track: " << hiddenTrackText(*log.hiddenTrack) << "\n";
  }
  for (const auto& ripped : log.tracks) {
    text << "\nTrack " << ripped.track.number << "\n"
         << "  File: " << ripped.file.filename().string() << "\n"
         << "  Sectors: " << sectorRange(ripped.track) << "\n"
         << "  CRC-32: " << hex(ripped.checksums.crc32) << "\n"
         << "  AccurateRip v1: " << hex(ripped.checksums.accurateRipV1) << "\n"
         << "  AccurateRip v2: " << hex(ripped.checksums.accurateRipV2) << "\n"
         << "  Result: " << verdictText(ripped.verdict, log.answer) << "\n"
         << "  Passes: " << passesText(ripped) << "\n"
         << "  Error pointers: " << errorPointersText(ripped.errorPointers) << "\n"
         << "  Sectors read again: " << ripped.sectorsReadAgain << "\n"
         << "  Damaged: " << damageText(ripped.damaged) << "\n"
         << preEmphasisText(ripped.track, format);
  }
  std::int64_t onePass = 0;
  for (const auto& track : log.tableOfContents) {
    onePass += track.sectorCount;
  }
  text << "\nSectors requested: " << log.sectorsRead << " (one pass over the tracks is " << onePass
       << ")\n";
  return text.str();
}

}  // namespace

std::optional<std::string> writeRipLog(const RipLog& log, AlbumFolder& album) {
  return album.write(album.ripLog(), logText(log, album.format()));
}

}  // namespace noru::rip
