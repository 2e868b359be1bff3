#pragma once

#include <QList>
#include <QToolBar>
#include <functional>
#include <vector>

class QToolButton;

// A toolbar of buttons that show a text label below their image, all of one size, laid out in two
// columns so that every one of them fits the height of the window's strip.
class CTextToolBar : public QToolBar {
  Q_OBJECT
 public:
  explicit CTextToolBar(QWidget* parent = nullptr);

  // Fills the bar with buttons for the commands' actions in order (0 for a separator, which the
  // two-column layout leaves out). A button's label is the last piece of its command's string, when
  // that is not empty; every button gets the size of the largest one.
  void LoadToolBar(const std::vector<int>& buttons, const std::function<QAction*(int)>& command);

  // The buttons in order.
  const QList<QToolButton*>& Buttons() const { return m_buttons; }

 private:
  void SizeButtonsAlike();

  QList<QToolButton*> m_buttons;
};
