#include "dialogs/address_text.h"

#include <QByteArray>
#include <QListWidget>
#include <QStringDecoder>

namespace vetrule {

namespace {
constexpr int kAddressRole = Qt::UserRole;
}

QString displayText(const std::string& bytes) {
  QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(view);
  if (!utf8.hasError()) return text;
  QStringDecoder gb18030("GB18030");
  if (!gb18030.isValid()) return text;
  QString chinese = gb18030.decode(view);
  return gb18030.hasError() ? text : chinese;
}

void setAddress(QListWidgetItem* item, const std::string& address) {
  item->setText(displayText(address));
  item->setToolTip(item->text());  // the whole address where the list is narrower
  item->setData(kAddressRole, QByteArray(address.data(), static_cast<qsizetype>(address.size())));
}

QListWidgetItem* newAddressItem(const std::string& address) {
  auto* item = new QListWidgetItem;
  setAddress(item, address);
  return item;
}

std::string addressOf(const QListWidgetItem* item) {
  return item->data(kAddressRole).toByteArray().toStdString();
}

std::vector<std::string> addressesOf(const QListWidget* list) {
  std::vector<std::string> addresses;
  for (int row = 0; row < list->count(); ++row) addresses.push_back(addressOf(list->item(row)));
  return addresses;
}

}  // namespace vetrule
