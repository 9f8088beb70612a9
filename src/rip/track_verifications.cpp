#include "rip/track_verifications.h"

#include <utility>

namespace noru::rip {

void TrackVerifications::trackRipped(std::int64_t track, std::size_t audioIndex,
                                     const accuraterip::TrackChecksumValues& checksums) {
  std::lock_guard lock(mutex_);
  const Ripped ripped{track, audioIndex, checksums};
  if (answer_) {
    verifyLocked(ripped);
  } else {
    waiting_.push_back(ripped);
  }
}

void TrackVerifications::answered(AccurateRipAnswer answer) {
  std::lock_guard lock(mutex_);
  if (answer_) {
    return;
  }
  answer_ = std::move(answer);
  for (const auto& ripped : std::exchange(waiting_, {})) {
    verifyLocked(ripped);
  }
}

void TrackVerifications::confirmedByCTDB(std::int64_t track, int confidence,
                                         std::int64_t repairedSamples) {
  std::lock_guard lock(mutex_);
  const auto found = verdicts_.find(track);
  if (found != verdicts_.end() && std::holds_alternative<accuraterip::Accurate>(found->second) &&
      repairedSamples == 0) {
    return;
  }
  const accuraterip::TrackVerification verdict =
      accuraterip::Accurate{.confidence = confidence,
                            .database = accuraterip::Database::cueToolsDatabase,
                            .repairedSamples = repairedSamples};
  verdicts_[track] = verdict;
  dispatch_(
      state::AnyAction{state::CDRipAction{state::CDRipActions::trackVerified{track, verdict}}});
}

std::optional<AccurateRipAnswer> TrackVerifications::answer() const {
  std::lock_guard lock(mutex_);
  return answer_;
}

std::optional<accuraterip::TrackVerification> TrackVerifications::verdictFor(
    std::size_t audioIndex, const accuraterip::TrackChecksumValues& checksums) const {
  std::lock_guard lock(mutex_);
  if (!answer_) {
    return std::nullopt;
  }
  return accuraterip::verifyTrack(answer_->pressings, audioIndex, checksums.accurateRipV1,
                                  checksums.accurateRipV2);
}

std::map<std::int64_t, accuraterip::TrackVerification> TrackVerifications::verdicts() const {
  std::lock_guard lock(mutex_);
  return verdicts_;
}

// Dispatching only queues the action, so it may happen under the lock, which keeps each
// track's verdict after the report of its rip.
void TrackVerifications::verifyLocked(const Ripped& ripped) {
  const auto verdict =
      accuraterip::verifyTrack(answer_->pressings, ripped.audioIndex,
                               ripped.checksums.accurateRipV1, ripped.checksums.accurateRipV2);
  verdicts_[ripped.track] = verdict;
  dispatch_(state::AnyAction{
      state::CDRipAction{state::CDRipActions::trackVerified{ripped.track, verdict}}});
}

}  // namespace noru::rip
