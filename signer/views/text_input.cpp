#include "views/text_input.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/client_settings.h"
#include "store/dialog_texts.h"
#include "store/ui_text.h"

CTextInput::CTextInput(const QString& about, QWidget* parent)
    : QDialog(parent), m_reasonEdit(new QComboBox(this)) {
  setWindowTitle(Tr(res::text::kReturnReasonTitle));
  m_reasonEdit->setObjectName(QStringLiteral("reasons"));
  m_reasonEdit->setEditable(true);
  m_reasonEdit->setInsertPolicy(QComboBox::NoInsert);
  m_reasonEdit->lineEdit()->setObjectName(QStringLiteral("reason"));
  m_reasonEdit->setMinimumWidth(360);
  for (const std::string& reason : ReadLastReasons()) m_reasonEdit->addItem(UiText(reason));
  m_reasonEdit->setCurrentIndex(-1);
  m_reasonEdit->lineEdit()->clear();

  auto* ok = new QPushButton(Tr(res::text::kOk), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CTextInput::accept);
  auto* cancel = new QPushButton(Tr(res::text::kCancel), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  connect(cancel, &QPushButton::clicked, this, &CTextInput::reject);

  auto* layout = new QVBoxLayout(this);
  if (!about.isEmpty()) {
    auto* label = new QLabel(about, this);
    label->setObjectName(QStringLiteral("about"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  layout->addWidget(m_reasonEdit);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  m_reasonEdit->setFocus();
}

void CTextInput::accept() {
  m_strReason = Bytes(m_reasonEdit->currentText());
  RememberReason(m_strReason);
  QDialog::accept();
}
