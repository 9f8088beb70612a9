#pragma once

#include <QString>

#include <cstdint>
#include <map>

#include "accuraterip/verify_track.h"
#include "state/import_outcome.h"

namespace noru::ui {

// One track's verdict as the ripping view lists it: "Track 3: accurate (confidence 12)".
QString trackVerdictText(std::int64_t track, const accuraterip::TrackVerification& verdict);

// Where a track's reads never agreed: "Track 4: damaged at 1:02.13–1:02.40".
QString trackDamageText(std::int64_t track, const std::vector<disc::SectorStretch>& stretches);

// The verdicts of a finished import of `trackCount` tracks in a few lines: how many were
// accurately ripped, which were not and which are damaged (their files are kept), and how many
// could not be verified. Empty without verdicts or damage.
QString verificationSummary(const state::TrackVerdicts& verdicts, const state::TrackDamage& damage,
                            std::int64_t trackCount);

}  // namespace noru::ui
