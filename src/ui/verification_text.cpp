#include "ui/verification_text.h"

#include <QStringList>

#include <vector>

#include "ui/interface_style.h"

namespace noru::ui {

QString trackVerdictText(std::int64_t track, const accuraterip::TrackVerification& verdict) {
  if (const auto* accurate = std::get_if<accuraterip::Accurate>(&verdict)) {
    return localized("Track %1: accurate (confidence %2)").arg(track).arg(accurate->confidence);
  }
  if (std::holds_alternative<accuraterip::NotAccurate>(verdict)) {
    return localized("Track %1: not accurate").arg(track);
  }
  return localized("Track %1: could not be verified").arg(track);
}

QString verificationSummary(const std::map<std::int64_t, accuraterip::TrackVerification>& verdicts,
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
  QStringList lines;
  if (accurate > 0) {
    lines << (trackCount == 1 ? localized("%1 of %2 track accurately ripped")
                              : localized("%1 of %2 tracks accurately ripped"))
                 .arg(accurate)
                 .arg(trackCount);
  }
  if (notAccurate.size() == 1) {
    lines << localized("Track %1 not accurately ripped (file kept)").arg(notAccurate.front());
  } else if (notAccurate.size() > 1) {
    const QString last = notAccurate.takeLast();
    lines << localized("Tracks %1 and %2 not accurately ripped (files kept)")
                 .arg(notAccurate.join(QStringLiteral(", ")), last);
  }
  if (unverifiable > 0) {
    lines << (unverifiable == 1 ? localized("1 track could not be verified")
                                : localized("%1 tracks could not be verified").arg(unverifiable));
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace noru::ui
