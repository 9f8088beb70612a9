#include "disc/read_cd_disc_info.h"

#include <utility>

#include "disc/parse_full_toc.h"
#include "platform/log/diagnostic_log.h"

namespace noru::disc {

ReadCDDiscInfo::ReadCDDiscInfo(std::shared_ptr<platform::linux_cd::FullTocSource> tocSource)
    : tocSource_(std::move(tocSource)) {}

std::optional<CDDiscInfo> ReadCDDiscInfo::operator()(const CDDrive& drive) const {
  using platform::log::diagnostic;
  using Outcome = platform::linux_cd::FullTocReply::Outcome;
  if (drive.bsdPath.empty()) {
    diagnostic("ReadCDDiscInfo: drive '", drive.name, "' has no BSD path \u2014 skipping");
    return std::nullopt;
  }
  diagnostic("ReadCDDiscInfo: reading TOC for drive '", drive.name, "' bsd=", drive.bsdPath);
  const auto reply = tocSource_->readFullToc(drive.bsdPath);
  switch (reply.outcome) {
    case Outcome::invalidDeviceName:
      diagnostic("ReadCDDiscInfo: IOBSDNameMatching failed for '", drive.bsdPath, "'");
      return std::nullopt;
    case Outcome::deviceUnavailable:
      diagnostic("ReadCDDiscInfo: IOServiceGetMatchingServices failed for '", drive.bsdPath, "'");
      return std::nullopt;
    case Outcome::noToc:
      diagnostic("ReadCDDiscInfo: no IOCDMedia TOC property found for '", drive.bsdPath, "'");
      return std::nullopt;
    case Outcome::ok:
      break;
  }
  diagnostic("ReadCDDiscInfo: found TOC property \u2014 ", reply.bytes.size(), " bytes");
  auto info = parseFullTOC(reply.bytes);
  if (!info) {
    return std::nullopt;
  }
  diagnostic("ReadCDDiscInfo: parsed ", info->tracks.size(),
             " audio track(s), totalSectors=", info->totalSectors);
  for (const auto& track : info->tracks) {
    diagnostic("ReadCDDiscInfo:   track ", track.number, " start=", track.startSector,
               " sectors=", track.sectorCount, " (",
               platform::log::oneDecimal(track.sectorCount / 75.0), "s)",
               track.preEmphasis ? " pre-emphasis" : "");
  }
  info->facts = tocSource_->readDiscFacts(drive.bsdPath);
  diagnostic("ReadCDDiscInfo: CD-Text ", info->facts.text.empty() ? "none" : "found",
             ", barcode ", info->facts.mcn.value_or("none"));
  return info;
}

}  // namespace noru::disc
