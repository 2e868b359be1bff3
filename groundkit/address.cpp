#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "groundkit/groundkit.h"
#include "internal/bounded_copy.h"

namespace {

using groundkit::kBoundedCopyMax;

std::string_view textOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum AddressPart { kDomain = 0, kUser = 1, kName = 2, kPartCount = 3 };

bool isQuoteOrBracket(char c) { return c == '"' || c == '\'' || c == '<' || c == '>'; }

// How many characters each part of an address holds, found by scanAddress.
struct PartSizes {
  std::size_t size[kPartCount] = {};
};

// Walks the address from its last character to its first and splits it into domain, user and
// name. Each kept character is handed to keep(part, indexFromPartEnd, c); characters reach a part
// last one first, so indexFromPartEnd counts from the part's end. When the name holds nothing but
// blanks and a quote or bracket comes, those blanks only separated a quoted name from its address
// ('"Doe" <jd@x>'): they are dropped and the name starts again from its end.
template <typename Keep>
PartSizes scanAddress(std::string_view address, Keep keep) {
  PartSizes parts;
  int current = kDomain;
  bool nameHasText = false;
  for (std::size_t i = address.size(); i-- > 0;) {
    char c = address[i];
    std::size_t& size = parts.size[current];
    if (isQuoteOrBracket(c)) {
      if (current == kName && !nameHasText)
        size = 0;
      else if (current != kName && size > 0)
        ++current;
      continue;
    }
    if (c == '@' && current == kDomain) {
      current = kUser;
      continue;
    }
    keep(current, size, c);
    ++size;
    if (current == kName && !isBlank(c)) nameHasText = true;
  }
  return parts;
}

PartSizes addressPartSizes(std::string_view address) {
  return scanAddress(address, [](int, std::size_t, char) {});
}

bool hasUserAndDomain(std::string_view address) {
  PartSizes parts = addressPartSizes(address);
  return parts.size[kUser] > 0 && parts.size[kDomain] > 0;
}

// Gives back the next piece between separators and ends it with a zero in the buffer, as the C
// library's tokeniser does, but keeps its position in cursor instead of hidden state.
char* nextPiece(char*& cursor, const char* separators) {
  cursor += std::strspn(cursor, separators);
  if (*cursor == '\0') return nullptr;
  char* piece = cursor;
  cursor += std::strcspn(cursor, separators);
  if (*cursor != '\0') *cursor++ = '\0';
  return piece;
}

bool isAsciiLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDomainCharacter(char c) { return isAsciiLetterOrDigit(c) || c == '-' || c == '.'; }

bool isFaxCharacter(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '#' || c == ','; }

// The low eight bits of the decimal number at the start of text; 0 when it starts with no digit.
unsigned char leadingNumberLowByte(const char* text) {
  unsigned value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = (value * 10 + unsigned(*text - '0')) & 0xFFu;
  return static_cast<unsigned char>(value);
}

// Copies the bare address: a blank, a double quote or "<" starts again at restartAt, ">" is
// skipped, "," or ";" ends it. Returns the end of what was written, not terminated.
char* copyBareAddress(std::string_view address, char* out, char* restartAt) {
  char* end = restartAt;
  for (char c : address) {
    if (isBlank(c) || c == '"' || c == '<')
      end = restartAt;
    else if (c == ',' || c == ';')
      break;
    else if (c != '>')
      *end++ = c;
  }
  return end;
}

}  // namespace

extern "C" {

void BSCFEM_SplitEmailAddress(const char* address, char* name, char* user, char* domain) {
  std::string_view text = textOf(address);
  char* outputs[kPartCount] = {domain, user, name};
  PartSizes total = addressPartSizes(text);
  // Characters arrive last one first; each goes to its final place, and only the first 1,023
  // characters of a part are kept. A name restarted by scanAddress overwrites what it had.
  scanAddress(text, [&](int part, std::size_t indexFromEnd, char c) {
    std::size_t length = total.size[part];
    if (indexFromEnd >= length) return;
    std::size_t index = length - 1 - indexFromEnd;
    if (index < kBoundedCopyMax) outputs[part][index] = c;
  });
  for (int part = 0; part < kPartCount; ++part)
    outputs[part][std::min(total.size[part], kBoundedCopyMax)] = '\0';
}

void BSCFEM_SplitEmailToArray(char* addressList, std::vector<std::string>& array) {
  if (addressList == nullptr) return;
  std::string pending;
  char* cursor = addressList;
  while (char* piece = nextPiece(cursor, ",;")) {
    pending += trimBlanks(piece);
    if (hasUserAndDomain(pending)) {
      array.push_back(pending);
      pending.clear();
    } else {
      pending += ',';
    }
  }
}

void BSCFEM_2SimpleEmailAddress(const char* address, char* bareAddress) {
  *copyBareAddress(textOf(address), bareAddress, bareAddress) = '\0';
}

void BSCFEM_2EnvlopeAddress(const char* address, char* envelopeAddress) {
  envelopeAddress[0] = '<';
  char* end = copyBareAddress(textOf(address), envelopeAddress, envelopeAddress + 1);
  end[0] = '>';
  end[1] = '\0';
}

void BSCFEM_GetHostName(const char* address, char* domain) {
  char* end = domain;
  bool atSeen = false;
  for (char c : textOf(address)) {
    if (c == '@') {
      atSeen = true;
      end = domain;
    } else if (atSeen && (c == ',' || c == ';')) {
      break;
    } else {
      *end++ = c;
    }
  }
  *end = '\0';
}

int BSCF_IsLegalEmailAddress(const char* address) {
  return hasUserAndDomain(textOf(address)) ? 1 : 0;
}

int BSCF_IsLegalDomainName(const char* domainName) {
  std::string_view name = trimBlanks(textOf(domainName));
  if (name.empty() || name.front() == '.' || name.back() == '.') return 0;
  char previous = '\0';
  for (char c : name) {
    if (!isDomainCharacter(c) || (c == '.' && previous == '.')) return 0;
    previous = c;
  }
  return 1;
}

void BSCFEM_FormatEmailAddr(const char* address, const char* second, char* output) {
  groundkit::boundedCopy(output, textOf(address));
}

void BSCFEM_SplitIPAddress(char* dottedAddress, unsigned char& first, unsigned char& second,
                           unsigned char& third, unsigned char& fourth) {
  unsigned char* outputs[] = {&first, &second, &third, &fourth};
  for (unsigned char* out : outputs) *out = 0;
  if (dottedAddress == nullptr) return;
  char* cursor = dottedAddress;
  for (unsigned char* out : outputs) {
    char* piece = nextPiece(cursor, ".");
    if (piece == nullptr) return;
    *out = leadingNumberLowByte(piece);
  }
}

int BSCF_IsLegalFaxNo(const char* faxNumber) {
  for (char c : trimBlanks(textOf(faxNumber)))
    if (!isFaxCharacter(c)) return 0;
  return 1;
}

void BSCF_SplitFaxNo(const char* faxNumber, char* firstPart, char* secondPart) {
  std::string_view number = textOf(faxNumber);
  std::size_t dash = number.find('-');
  secondPart[0] = '\0';
  if (dash != std::string_view::npos && dash > 3) {
    std::string_view rest = number.substr(dash + 1);
    std::memcpy(firstPart, number.data(), dash);
    firstPart[dash] = '\0';
    std::memcpy(secondPart, rest.data(), rest.size());
    secondPart[rest.size()] = '\0';
    return;
  }
  char* end = firstPart;
  for (char c : number)
    if (c != '-') *end++ = c;
  *end = '\0';
}

}  // extern "C"
