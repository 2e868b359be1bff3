#pragma once
// Addresses are bytes as they stand in the rule file or in the names of the mailbox folders. The
// lists show them as text and keep the bytes, so that what is written back is what was read.

#include <string>
#include <vector>

#include <QString>

class QListWidget;
class QListWidgetItem;

namespace vetrule {

// UTF-8, or GB18030 (the mail server's Chinese code page) when the bytes are not valid UTF-8.
QString displayText(const std::string& bytes);

// Fills item with an address: its text for the eye and its bytes.
void setAddress(QListWidgetItem* item, const std::string& address);
QListWidgetItem* newAddressItem(const std::string& address);
std::string addressOf(const QListWidgetItem* item);
// The addresses of every item, top to bottom.
std::vector<std::string> addressesOf(const QListWidget* list);

}  // namespace vetrule
