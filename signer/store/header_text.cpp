#include "store/header_text.h"

#include <QByteArray>
#include <QStringDecoder>
#include <optional>
#include <vector>

#include "groundkit/groundkit.h"
#include "store/ui_text.h"

namespace {

struct tagHeaderPiece {
  bool m_bWord = false;
  std::string m_strCharset;  // of a word, in upper case
  std::string m_strBytes;    // a word's decoded bytes, or the text as it stands
  std::string m_strRaw;      // a word as it stands
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> DecodeQ(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      bytes += ' ';
    } else if (text[i] == '=') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

std::optional<std::string> DecodeB(std::string_view text) {
  const QByteArray::FromBase64Result decoded =
      QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                     QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  return decoded.decoded.toStdString();
}

// The encoded word "=?charset?B|Q?text?=" that starts at start: its end and its piece.
std::optional<tagHeaderPiece> ParseWord(std::string_view value, std::size_t start,
                                        std::size_t& end) {
  if (value.compare(start, 2, "=?") != 0) return std::nullopt;
  const std::size_t charsetEnd = value.find('?', start + 2);
  if (charsetEnd == std::string_view::npos || charsetEnd + 3 > value.size() ||
      value[charsetEnd + 2] != '?')
    return std::nullopt;
  const std::size_t textEnd = value.find('?', charsetEnd + 3);
  if (textEnd == std::string_view::npos || textEnd + 1 >= value.size() || value[textEnd + 1] != '=')
    return std::nullopt;
  std::string_view charset = value.substr(start + 2, charsetEnd - start - 2);
  charset = charset.substr(0, charset.find('*'));  // without a language
  const std::string_view text = value.substr(charsetEnd + 3, textEnd - charsetEnd - 3);
  if (charset.empty()) return std::nullopt;
  for (const char c : std::string(charset) + std::string(text))
    if (IsBlank(c) || static_cast<unsigned char>(c) < 0x20) return std::nullopt;
  const char encoding = value[charsetEnd + 1];
  std::optional<std::string> bytes = encoding == 'B' || encoding == 'b'   ? DecodeB(text)
                                     : encoding == 'Q' || encoding == 'q' ? DecodeQ(text)
                                                                          : std::nullopt;
  if (!bytes) return std::nullopt;
  end = textEnd + 2;
  return tagHeaderPiece{
      true,
      QByteArray(charset.data(), static_cast<qsizetype>(charset.size())).toUpper().toStdString(),
      std::move(*bytes), std::string(value.substr(start, end - start))};
}

std::vector<tagHeaderPiece> Pieces(std::string_view value) {
  std::vector<tagHeaderPiece> pieces;
  std::string text;
  for (std::size_t at = 0; at < value.size();) {
    std::size_t end = 0;
    if (std::optional<tagHeaderPiece> word = ParseWord(value, at, end)) {
      // Blanks between two encoded words are no part of the text.
      const bool onlyBlanks = text.find_first_not_of(" \t") == std::string::npos;
      if (!(onlyBlanks && !pieces.empty() && pieces.back().m_bWord) && !text.empty())
        pieces.push_back({false, "", text, ""});
      text.clear();
      pieces.push_back(std::move(*word));
      at = end;
    } else {
      text += value[at++];
    }
  }
  if (!text.empty()) pieces.push_back({false, "", text, ""});
  return pieces;
}

// The mail server's Chinese charsets are all read as their superset.
QByteArray DecoderName(const std::string& charset) {
  if (charset == "GB2312" || charset == "GBK" || charset == "X-GBK" || charset == "CP936" ||
      charset == "EUC-CN")
    return "GB18030";
  return QByteArray::fromStdString(charset);
}

}  // namespace

std::string DecodeHeaderText(std::string_view value) {
  std::string unfolded;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
      ++i;  // a folded line goes on after its line break
    else
      unfolded += value[i];
  }
  std::vector<tagHeaderPiece> pieces = Pieces(unfolded);
  QString text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    tagHeaderPiece& piece = pieces[i];
    if (!piece.m_bWord) {
      text += UiText(piece.m_strBytes);
      continue;
    }
    QStringDecoder decoder(DecoderName(piece.m_strCharset).constData());
    if (!decoder.isValid()) {
      text += UiText(piece.m_strRaw);
      continue;
    }
    // A character may be split over two words of its charset.
    while (i + 1 < pieces.size() && pieces[i + 1].m_bWord &&
           pieces[i + 1].m_strCharset == piece.m_strCharset)
      piece.m_strBytes += pieces[++i].m_strBytes;
    text += decoder.decode(QByteArray::fromStdString(piece.m_strBytes));
  }
  for (QChar& c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
  return Bytes(text.trimmed());
}

std::string EncodeHeaderField(const std::string& name, const std::string& utf8Value) {
  std::string field;
  if (!BSCFEM_EncodeHeaderField(name.c_str(), utf8Value.c_str(), "UTF-8", field)) return {};
  return field;
}
