#include "dialogs/dialog_template.h"

#include <QFontMetrics>
#include <QStringList>
#include <QWidget>

namespace vetrule {

QFont songtiDialogFont() {
  QFont font;
  // Where 宋体 is missing, a font with the same Chinese coverage.
  font.setFamilies(
      {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPointSize(9);
  return font;
}

QFont shellDialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Shell Dlg"), QStringLiteral("MS Shell Dlg 2"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (letters / 26 + 1) / 2;
  baseY_ = metrics.height();
}

DialogUnits applyDialogTemplate(QWidget* dialog, const QFont& font, int width, int height,
                                DialogSizing sizing) {
  dialog->setFont(font);
  DialogUnits units(font);
  if (sizing == DialogSizing::kFixed)
    dialog->setFixedSize(units.size(width, height));
  else
    dialog->resize(units.size(width, height));
  return units;
}

}  // namespace vetrule
