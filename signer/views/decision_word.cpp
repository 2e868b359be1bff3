#include "views/decision_word.h"

#include "store/decision_journal.h"
#include "store/ui_text.h"

QString DecisionWord(const std::string& decision) {
  if (decision == kDecisionApprove) return Tr(QT_TRANSLATE_NOOP("Signer", "签发"));
  if (decision == kDecisionReturn) return Tr(QT_TRANSLATE_NOOP("Signer", "退回"));
  return UiText(decision);
}
