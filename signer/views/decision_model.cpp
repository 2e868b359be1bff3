#include "views/decision_model.h"

#include <QApplication>
#include <QStyle>

#include "store/ui_text.h"
#include "views/decision_word.h"


CDecisionModel::CDecisionModel(CRowList<tagDecision>& rows, QObject* parent)
    : CListModel({{QT_TRANSLATE_NOOP("Signer", "时间"), Qt::AlignLeft},
                  {QT_TRANSLATE_NOOP("Signer", "决定"), Qt::AlignLeft},
                  {QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                  {QT_TRANSLATE_NOOP("Signer", "接收人"), Qt::AlignLeft},
                  {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                  {QT_TRANSLATE_NOOP("Signer", "原因"), Qt::AlignLeft}},
                 rows, parent),
      m_approved(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton)),
      m_returned(QApplication::style()->standardIcon(QStyle::SP_ArrowBack)) {}

QVariant CDecisionModel::RowData(const tagDecision& row, int column, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case kTime:
          return UiText(row.Time);
        case kDecision:
          return DecisionWord(row.Decision);
        case kSender:
          return UiText(row.Sender);
        case kRecipients:
          return UiText(row.Recipients);
        case kSubject:
          return UiText(row.Subject);
        case kReason:
          return UiText(row.Reason);
      }
      return {};
    case Qt::DecorationRole:
      if (column != kTime) return {};
      return row.Decision == kDecisionApprove ? m_approved : m_returned;
  }
  return {};
}
