#include "store/ui_text.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QStringDecoder>

QString UiText(std::string_view bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8.decode(view);
  if (!utf8.hasError()) return text;
  QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
  return gb18030.isValid() ? QString(gb18030.decode(view)) : text;
}

std::string Bytes(const QString& text) { return text.toStdString(); }

QString Tr(const char* source) { return QCoreApplication::translate("Signer", source); }

std::string TrBytes(const char* source) { return Bytes(Tr(source)); }
