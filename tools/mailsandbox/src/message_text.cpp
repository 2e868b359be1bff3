#include "message_text.h"

#include "text.h"

namespace mailsandbox {

std::vector<std::string> headerFieldValues(std::string_view message, std::string_view name) {
  std::vector<std::string> values;
  bool inWantedField = false;
  while (!message.empty()) {
    std::size_t end = message.find('\n');
    std::string_view line = withoutLineEnd(message.substr(0, end));
    message.remove_prefix(end == std::string_view::npos ? message.size() : end + 1);
    if (line.empty()) break;
    if (line.front() == ' ' || line.front() == '\t') {
      if (inWantedField) values.back() += line;
      continue;
    }
    std::size_t colon = line.find(':');
    inWantedField = colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name);
    if (inWantedField) values.emplace_back(trimBlanks(line.substr(colon + 1)));
  }
  return values;
}

std::string withHeaderFieldsReplaced(std::string_view message, std::string_view name,
                                     std::string_view fields) {
  std::string result;
  bool inNamedField = false;
  while (!message.empty()) {
    const std::size_t end = message.find('\n');
    const std::string_view whole = message.substr(0, end == std::string_view::npos ? message.size() : end + 1);
    const std::string_view line = withoutLineEnd(message.substr(0, end));
    if (line.empty()) break;  // the empty line that ends the header stays in message
    message.remove_prefix(whole.size());
    if (line.front() != ' ' && line.front() != '\t') {
      const std::size_t colon = line.find(':');
      inNamedField = colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name);
    }
    if (!inNamedField) result.append(whole);
  }
  result.append(fields);
  result.append(message);
  return result;
}

std::string messageDate(const std::tm& localTime) {
  char text[64];
  std::size_t length = std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &localTime);
  return std::string(text, length);
}

std::string receivedField(std::string_view host, std::string_view queueId, std::string_view forAddress,
                          const std::tm& localTime) {
  std::string field = "Received: from [127.0.0.1] by ";
  field.append(host).append(" with ESMTP id ").append(queueId).append(".msg");
  if (!forAddress.empty()) field.append(" for <").append(forAddress).append(">");
  return field + "; " + messageDate(localTime) + "\r\n";
}

}  // namespace mailsandbox
