#include "views/wait_text.h"

#include "store/ui_text.h"

QString WaitText(std::int64_t seconds) {
  constexpr std::int64_t kMinute = 60;
  constexpr std::int64_t kHour = 60 * kMinute;
  constexpr std::int64_t kDay = 24 * kHour;
  if (seconds < kMinute) return Tr(QT_TRANSLATE_NOOP("Signer", "刚到"));
  if (seconds < kHour) return Tr(QT_TRANSLATE_NOOP("Signer", "%1 分钟")).arg(seconds / kMinute);
  if (seconds < 2 * kDay) return Tr(QT_TRANSLATE_NOOP("Signer", "%1 小时")).arg(seconds / kHour);
  return Tr(QT_TRANSLATE_NOOP("Signer", "%1 天")).arg(seconds / kDay);
}
