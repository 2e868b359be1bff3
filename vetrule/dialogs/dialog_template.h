#pragma once
// Dialogs laid out as Windows dialog templates: a font and rectangles in dialog units, which scale
// with that font's average character width (x) and height (y).

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace vetrule {

// 宋体 at 9 points, the font of the main dialog and the About box.
QFont songtiDialogFont();
// MS Shell Dlg at 8 points, the font of the user selection dialog.
QFont shellDialogFont();

class DialogUnits {
 public:
  // Base units as Windows takes them: the rounded average width of the 52 letters, and the height.
  explicit DialogUnits(const QFont& font);

  int x(int units) const { return (units * baseX_ + 2) / 4; }
  int y(int units) const { return (units * baseY_ + 4) / 8; }
  QRect rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
  }
  QSize size(int width, int height) const { return QSize(x(width), y(height)); }

 private:
  int baseX_;
  int baseY_;
};

enum class DialogSizing { kFixed, kResizable };

// Gives dialog its font and its client size in dialog units, fixed or as the size it opens at and
// can grow from; returns the units for placing its controls.
DialogUnits applyDialogTemplate(QWidget* dialog, const QFont& font, int width, int height,
                                DialogSizing sizing = DialogSizing::kFixed);

}  // namespace vetrule
