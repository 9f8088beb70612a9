#pragma once

#include <QString>

#include <cstdint>
#include <map>

#include "accuraterip/verify_track.h"

namespace noru::ui {

// One track's verdict as the ripping view lists it: "Track 3: accurate (confidence 12)".
QString trackVerdictText(std::int64_t track, const accuraterip::TrackVerification& verdict);

// The verdicts of a finished import of `trackCount` tracks in a few lines: how many were
// accurately ripped, which were not (their files are kept) and how many could not be verified.
// Empty without verdicts.
QString verificationSummary(const std::map<std::int64_t, accuraterip::TrackVerification>& verdicts,
                            std::int64_t trackCount);

}  // namespace noru::ui
