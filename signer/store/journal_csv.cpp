#include "store/journal_csv.h"

#include <QFile>
#include <QSaveFile>


namespace {

std::string CsvField(std::string value) {
  if (!value.empty() && std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos)
    value.insert(value.begin(), '\'');
  const bool quoted = value.find_first_of(",\"\r\n") != std::string::npos ||
                      (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quoted) return value;
  std::string field = "\"";
  for (const char c : value) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

void AppendLine(std::string& csv, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) csv += ',';
    csv += CsvField(fields[i]);
  }
  csv += "\r\n";
}

}  // namespace

std::string DecisionsCsv(const std::vector<std::string>& headings,
                         const std::vector<tagDecision>& decisions,
                         const std::string& approveWord, const std::string& returnWord) {
  std::string csv = "\xEF\xBB\xBF";
  AppendLine(csv, headings);
  for (const tagDecision& decision : decisions) {
    const std::string word = decision.Decision == kDecisionApprove  ? approveWord
                             : decision.Decision == kDecisionReturn ? returnWord
                                                                    : decision.Decision;
    AppendLine(csv, {decision.Time, word, decision.Sender, decision.Recipients, decision.Subject,
                     decision.Reason, decision.Approver, decision.TaskId});
  }
  return csv;
}

bool WriteExportFile(const std::string& path, const std::string& text) {
  QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(text.data(), static_cast<qint64>(text.size())) !=
      static_cast<qint64>(text.size())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}
