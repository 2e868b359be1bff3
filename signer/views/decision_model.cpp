#include "views/decision_model.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <vector>

#include "store/ui_text.h"

namespace {

// The journal's word for a decision stays as written; the list shows it in the user's language.
QString DecisionText(const std::string& decision) {
  if (decision == kDecisionApprove) return Tr(QT_TRANSLATE_NOOP("Signer", "签发"));
  if (decision == kDecisionReturn) return Tr(QT_TRANSLATE_NOOP("Signer", "退回"));
  return UiText(decision);
}

}  // namespace

CDecisionModel::CDecisionModel(QObject* parent)
    : CRowModel({{QT_TRANSLATE_NOOP("Signer", "时间"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "决定"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "发送人"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "主题"), Qt::AlignLeft},
                 {QT_TRANSLATE_NOOP("Signer", "原因"), Qt::AlignLeft}},
                parent),
      m_approved(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton)),
      m_returned(QApplication::style()->standardIcon(QStyle::SP_ArrowBack)) {
  m_rows.SetListener(this);
}

CDecisionModel::~CDecisionModel() { m_rows.SetListener(nullptr); }

void CDecisionModel::Reload(const std::string& home) {
  std::vector<tagDecision> decisions;
  if (!home.empty()) decisions = ReadDecisions(home);
  std::reverse(decisions.begin(), decisions.end());
  m_rows.Assign(std::move(decisions));
}

int CDecisionModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows.Count();
}

QVariant CDecisionModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_rows.Count()) return {};
  const tagDecision& row = m_rows.At(index.row());
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kTime:
          return UiText(row.Time);
        case kDecision:
          return DecisionText(row.Decision);
        case kSender:
          return UiText(row.Sender);
        case kSubject:
          return UiText(row.Subject);
        case kReason:
          return UiText(row.Reason);
      }
      return {};
    case Qt::TextAlignmentRole:
      return Alignment(index.column());
    case Qt::DecorationRole:
      if (index.column() != kTime) return {};
      return row.Decision == kDecisionApprove ? m_approved : m_returned;
    case kTaskIdRole:
      return QString::fromStdString(row.TaskId);
  }
  return {};
}
