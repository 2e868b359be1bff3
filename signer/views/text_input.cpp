#include "views/text_input.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "store/dialog_texts.h"
#include "store/ui_text.h"

CTextInput::CTextInput(QWidget* parent) : QDialog(parent), m_reasonEdit(new QLineEdit(this)) {
  setWindowTitle(Tr(res::text::kReturnReasonTitle));
  m_reasonEdit->setObjectName(QStringLiteral("reason"));
  m_reasonEdit->setMinimumWidth(320);
  auto* ok = new QPushButton(Tr(res::text::kOk), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CTextInput::accept);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(m_reasonEdit, 1);
  layout->addWidget(ok);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CTextInput::accept() {
  m_strReason = Bytes(m_reasonEdit->text());
  QDialog::accept();
}
