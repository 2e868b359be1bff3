#pragma once
// Texts are bytes in the system code page (UTF-8); values that come from mail may be GB18030.

#include <QString>
#include <string>
#include <string_view>

// Text for the screen: the bytes as UTF-8 when they are valid UTF-8, otherwise as GB18030.
QString UiText(std::string_view bytes);
// A text typed on the screen as bytes (UTF-8).
std::string Bytes(const QString& text);

// One of the program's own texts (marked QT_TRANSLATE_NOOP("Signer", ...)) in the language the
// user chose; the source text itself when no translation is installed. Any thread.
QString Tr(const char* source);
// The same as bytes, for texts that are composed with bytes from a peer.
std::string TrBytes(const char* source);
