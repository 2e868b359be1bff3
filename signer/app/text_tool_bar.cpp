#include "app/text_tool_bar.h"

#include <QToolButton>

#include "app/resource.h"

CTextToolBar::CTextToolBar(QWidget* parent) : QToolBar(parent) {
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  setIconSize(QSize(16, 15));
}

void CTextToolBar::LoadToolBar(const std::vector<int>& buttons,
                               const std::function<QAction*(int)>& command) {
  clear();
  for (const int id : buttons) {
    if (id == 0) {
      addSeparator();
      continue;
    }
    QAction* action = command(id);
    const QString label = res::CommandLabel(id);
    if (!label.isEmpty()) action->setIconText(label);
    addAction(action);
  }
  SizeButtonsAlike();
}

void CTextToolBar::SizeButtonsAlike() {
  QList<QToolButton*> buttons;
  for (QAction* action : actions()) {
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action))) buttons.append(button);
  }
  QSize largest;
  for (QToolButton* button : buttons) largest = largest.expandedTo(button->sizeHint());
  for (QToolButton* button : buttons) button->setFixedSize(largest);
}
