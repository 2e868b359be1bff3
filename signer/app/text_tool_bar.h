#pragma once

#include <QToolBar>
#include <functional>
#include <vector>

// A toolbar whose buttons show a text label below their image, all of one size.
class CTextToolBar : public QToolBar {
  Q_OBJECT
 public:
  explicit CTextToolBar(QWidget* parent = nullptr);

  // Fills the bar with the commands' actions in order (0 for a separator). A button's label is the
  // last piece of its command's string, when that is not empty; every button gets the size of the
  // largest one.
  void LoadToolBar(const std::vector<int>& buttons, const std::function<QAction*(int)>& command);

 private:
  void SizeButtonsAlike();
};
