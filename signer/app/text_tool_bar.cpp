#include "app/text_tool_bar.h"

#include <QGridLayout>
#include <QToolButton>

#include "app/resource.h"

namespace {

constexpr int kColumns = 2;
const QSize kImageSize(16, 15);

}  // namespace

CTextToolBar::CTextToolBar(QWidget* parent) : QToolBar(parent) {
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  setIconSize(kImageSize);
}

void CTextToolBar::LoadToolBar(const std::vector<int>& buttons,
                               const std::function<QAction*(int)>& command) {
  clear();
  m_buttons.clear();
  auto* panel = new QWidget(this);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(1);
  for (const int id : buttons) {
    if (id == 0) continue;
    QAction* action = command(id);
    const QString label = res::CommandLabel(id);
    if (!label.isEmpty()) action->setIconText(label);
    auto* button = new QToolButton(panel);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(kImageSize);
    button->setAutoRaise(true);
    const int index = static_cast<int>(m_buttons.size());
    grid->addWidget(button, index / kColumns, index % kColumns);
    m_buttons.append(button);
  }
  grid->setRowStretch(grid->rowCount(), 1);
  addWidget(panel);
  SizeButtonsAlike();
}

void CTextToolBar::SizeButtonsAlike() {
  QSize largest;
  for (QToolButton* button : m_buttons) largest = largest.expandedTo(button->sizeHint());
  for (QToolButton* button : m_buttons) button->setFixedSize(largest);
}
