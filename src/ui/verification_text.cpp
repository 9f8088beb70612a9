#include "ui/verification_text.h"

#include <QStringList>

#include <vector>

#include "ui/interface_style.h"

namespace noru::ui {

QString trackVerdictText(std::int64_t track, const accuraterip::TrackVerification& verdict) {
  if (const auto* accurate = std::get_if<accuraterip::Accurate>(&verdict)) {
    if (accurate->repairedSamples > 0) {
      return localized(
                 "Track %1: repaired (CUETools database, %2 samples corrected, confidence %3)")
          .arg(track)
          .arg(accurate->repairedSamples)
          .arg(accurate->confidence);
    }
    if (accurate->database == accuraterip::Database::cueToolsDatabase) {
      return localized("Track %1: accurate (CUETools database, confidence %2)")
          .arg(track)
          .arg(accurate->confidence);
    }
    return localized("Track %1: accurate (confidence %2)").arg(track).arg(accurate->confidence);
  }
  if (std::holds_alternative<accuraterip::NotAccurate>(verdict)) {
    return localized("Track %1: not accurate").arg(track);
  }
  return localized("Track %1: could not be verified").arg(track);
}

QString trackDamageText(std::int64_t track, const std::vector<disc::SectorStretch>& stretches) {
  QStringList places;
  for (const auto& stretch : stretches) {
    places << QString::fromStdString(disc::stretchText(stretch));
  }
  return localized("Track %1: damaged at %2").arg(track).arg(places.join(QStringLiteral(", ")));
}

namespace {

// "Track 3 <what> (file kept)" or "Tracks 2, 3 and 5 <what> (files kept)"; empty for none.
QString tracksKeptLine(QStringList tracks, const QString& one, const QString& several) {
  if (tracks.isEmpty()) {
    return {};
  }
  if (tracks.size() == 1) {
    return one.arg(tracks.front());
  }
  const QString last = tracks.takeLast();
  return several.arg(tracks.join(QStringLiteral(", ")), last);
}

}  // namespace

QString verificationSummary(const state::TrackVerdicts& verdicts, const state::TrackDamage& damage,
                            std::int64_t trackCount) {
  std::int64_t accurate = 0;
  std::int64_t unverifiable = 0;
  QStringList notAccurate;
  for (const auto& [track, verdict] : verdicts) {
    accurate += std::holds_alternative<accuraterip::Accurate>(verdict) ? 1 : 0;
    unverifiable += std::holds_alternative<accuraterip::Unverifiable>(verdict) ? 1 : 0;
    if (std::holds_alternative<accuraterip::NotAccurate>(verdict)) {
      notAccurate << QString::number(track);
    }
  }
  QStringList damaged;
  for (const auto& [track, stretches] : damage) {
    damaged << QString::number(track);
  }
  QStringList lines;
  if (accurate > 0) {
    lines << (trackCount == 1 ? localized("%1 of %2 track accurately ripped")
                              : localized("%1 of %2 tracks accurately ripped"))
                 .arg(accurate)
                 .arg(trackCount);
  }
  lines << tracksKeptLine(notAccurate, localized("Track %1 not accurately ripped (file kept)"),
                          localized("Tracks %1 and %2 not accurately ripped (files kept)"));
  lines << tracksKeptLine(damaged, localized("Track %1 damaged (file kept)"),
                          localized("Tracks %1 and %2 damaged (files kept)"));
  if (unverifiable > 0) {
    lines << (unverifiable == 1 ? localized("1 track could not be verified")
                                : localized("%1 tracks could not be verified").arg(unverifiable));
  }
  lines.removeAll(QString());
  return lines.join(QLatin1Char('\n'));
}

}  // namespace noru::ui
