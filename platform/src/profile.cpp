#include "platform/profile.h"

#include <climits>
#include <cstring>
#include <unordered_map>

#include "file_lock.h"
#include "platform/last_error.h"
#include "platform/whole_file.h"

namespace platform {

namespace {

constexpr unsigned long kInvalidParameter = 87;

struct Line {
  std::string text;
  std::string eol;  // "\r\n", "\n" or empty for a last line without an end
};

struct Section {
  bool hasHeader = false;
  Line header;
  std::string lowerName;
  std::vector<Line> body;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The name of a section header line, or nothing when the line is not one.
std::optional<std::string_view> headerName(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(t.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view rawValue;
};

// A key line is "key=value"; comments (";") and lines without "=" are not keys.
std::optional<KeyLine> keyLine(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';') return std::nullopt;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

std::string unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool hasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool blankAtAnEnd(std::string_view s) {
  return !s.empty() && (isBlank(s.front()) || isBlank(s.back()));
}

// Names that read back as written. A section name ends at the first "]" and is trimmed; an empty
// one would end the list of section names. A key is trimmed and ends at the first "=", a line that
// starts with ";" is a comment and one that starts with "[" may be a section header.
bool writableSectionName(std::string_view name) {
  return !name.empty() && !hasLineBreakOrNul(name) && !blankAtAnEnd(name) &&
         name.find(']') == std::string_view::npos;
}

bool writableKeyName(std::string_view name) {
  return !name.empty() && !hasLineBreakOrNul(name) && !blankAtAnEnd(name) &&
         name.find('=') == std::string_view::npos && name.front() != ';' && name.front() != '[';
}

bool writable(std::string_view section, std::string_view key, std::string_view value) {
  return writableSectionName(section) && writableKeyName(key) && !hasLineBreakOrNul(value);
}

}  // namespace

struct ProfileFile::Impl {
  std::vector<Section> sections;  // sections[0] holds the lines before the first header
  std::unordered_map<std::string, std::size_t> firstByName;
  std::string defaultEol = "\r\n";

  Impl() { sections.emplace_back(); }

  void reindex() {
    firstByName.clear();
    for (std::size_t i = 1; i < sections.size(); ++i)
      firstByName.emplace(sections[i].lowerName, i);
  }

  Section* find(std::string_view name) {
    auto it = firstByName.find(lower(trim(name)));
    return it == firstByName.end() ? nullptr : &sections[it->second];
  }
  const Section* find(std::string_view name) const {
    return const_cast<Impl*>(this)->find(name);
  }

  static Line* findKey(Section& s, std::string_view key) {
    std::string_view wanted = trim(key);
    for (Line& l : s.body) {
      auto k = keyLine(l.text);
      if (k && equalNoCase(k->key, wanted)) return &l;
    }
    return nullptr;
  }

  Line* lastLine() {
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
      if (!it->body.empty()) return &it->body.back();
      if (it->hasHeader) return &it->header;
    }
    return nullptr;
  }
};

ProfileFile::ProfileFile() : impl_(new Impl) {}
ProfileFile::~ProfileFile() { delete impl_; }
ProfileFile::ProfileFile(ProfileFile&& o) : impl_(o.impl_) { o.impl_ = new Impl; }
ProfileFile& ProfileFile::operator=(ProfileFile&& o) noexcept {
  std::swap(impl_, o.impl_);
  return *this;
}

void ProfileFile::parse(std::string_view text) {
  Impl fresh;
  bool eolChosen = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(text.substr(pos));
      pos = text.size();
    } else {
      std::size_t end = nl;
      if (end > pos && text[end - 1] == '\r') {
        --end;
        line.eol = "\r\n";
      } else {
        line.eol = "\n";
      }
      line.text = std::string(text.substr(pos, end - pos));
      pos = nl + 1;
      if (!eolChosen) {
        fresh.defaultEol = line.eol;
        eolChosen = true;
      }
    }
    if (auto name = headerName(line.text)) {
      Section s;
      s.hasHeader = true;
      s.lowerName = lower(*name);
      s.header = std::move(line);
      fresh.sections.push_back(std::move(s));
    } else {
      fresh.sections.back().body.push_back(std::move(line));
    }
  }
  fresh.reindex();
  *impl_ = std::move(fresh);
}

bool ProfileFile::load(const std::string& path) {
  std::string text;
  if (!readWholeFile(path, text)) {
    const unsigned long error = lastError();
    if (error != err::kFileNotFound && error != err::kPathNotFound) return false;
    text.clear();  // a missing file reads as an empty one
  }
  parse(text);
  return true;
}

std::string ProfileFile::serialize() const {
  std::string out;
  auto put = [&out](const Line& l) {
    out += l.text;
    out += l.eol;
  };
  for (const Section& s : impl_->sections) {
    if (s.hasHeader) put(s.header);
    for (const Line& l : s.body) put(l);
  }
  return out;
}

bool ProfileFile::save(const std::string& path) const {
  const detail::FileWriteLock lock(path);
  return lock.held() && replaceWholeFile(path, serialize());
}

bool ProfileFile::edit(const std::string& path, const std::function<bool(ProfileFile&)>& change) {
  const detail::FileWriteLock lock(path);
  if (!lock.held()) return false;
  ProfileFile p;
  if (!p.load(path) || !change(p)) return false;
  return replaceWholeFile(path, p.serialize());
}

std::optional<std::string> ProfileFile::value(std::string_view section, std::string_view key) const {
  const Section* s = impl_->find(section);
  if (s == nullptr) return std::nullopt;
  std::string_view wanted = trim(key);
  for (const Line& l : s->body) {
    auto k = keyLine(l.text);
    if (k && equalNoCase(k->key, wanted)) return unquote(k->rawValue);
  }
  return std::nullopt;
}

std::vector<std::string> ProfileFile::sectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : impl_->sections)
    if (s.hasHeader) names.emplace_back(*headerName(s.header.text));
  return names;
}

std::vector<std::string> ProfileFile::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = impl_->find(section))
    for (const Line& l : s->body)
      if (auto k = keyLine(l.text)) names.emplace_back(k->key);
  return names;
}

bool ProfileFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
  if (!writable(section, key, value)) {
    setLastError(kInvalidParameter);
    return false;
  }
  Impl& d = *impl_;
  Section* s = d.find(section);
  if (s == nullptr) {
    Line* last = d.lastLine();
    if (last != nullptr && last->eol.empty()) last->eol = d.defaultEol;
    Section added;
    added.hasHeader = true;
    added.lowerName = lower(trim(section));
    added.header = Line{"[" + std::string(trim(section)) + "]", d.defaultEol};
    d.sections.push_back(std::move(added));
    d.firstByName.emplace(d.sections.back().lowerName, d.sections.size() - 1);
    s = &d.sections.back();
  }
  if (Line* existing = Impl::findKey(*s, key)) {
    std::string name(keyLine(existing->text)->key);
    existing->text = name + "=" + std::string(value);
    return true;
  }
  // A new key goes after the section's last non-blank line, before blank lines that separate it
  // from the next section.
  std::size_t at = s->body.size();
  while (at > 0 && trim(s->body[at - 1].text).empty()) --at;
  if (at > 0 && s->body[at - 1].eol.empty()) s->body[at - 1].eol = d.defaultEol;
  if (at == 0 && s->hasHeader && s->header.eol.empty()) s->header.eol = d.defaultEol;
  s->body.insert(s->body.begin() + static_cast<std::ptrdiff_t>(at),
                 Line{std::string(trim(key)) + "=" + std::string(value), d.defaultEol});
  return true;
}

bool ProfileFile::removeKey(std::string_view section, std::string_view key) {
  Section* s = impl_->find(section);
  if (s == nullptr) return false;
  Line* l = Impl::findKey(*s, key);
  if (l == nullptr) return false;
  s->body.erase(s->body.begin() + (l - s->body.data()));
  return true;
}

bool ProfileFile::removeSection(std::string_view section) {
  Section* s = impl_->find(section);
  if (s == nullptr) return false;
  impl_->sections.erase(impl_->sections.begin() + (s - impl_->sections.data()));
  impl_->reindex();
  return true;
}

long leadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  return static_cast<long>(v);
}

std::string getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                    const char* file) {
  ProfileFile p;
  if (file != nullptr && section != nullptr && key != nullptr && p.load(file))
    if (auto v = p.value(section, key)) return *v;
  std::string_view d = defaultValue ? std::string_view(defaultValue) : std::string_view();
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  return std::string(d);
}

unsigned long getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                      char* buffer, unsigned long size, const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  if (section == nullptr || key == nullptr) {
    // Names, each followed by a zero, and a final zero; a list that does not fit is cut and still
    // ends in two zeros, as Windows does.
    std::string joined;
    ProfileFile p;
    if (file != nullptr && p.load(file))
      for (const std::string& n : section == nullptr ? p.sectionNames() : p.keyNames(section)) {
        joined += n;
        joined += '\0';
      }
    if (joined.size() + 1 <= size) {
      std::memcpy(buffer, joined.data(), joined.size());
      buffer[joined.size()] = '\0';
      return static_cast<unsigned long>(joined.size());
    }
    if (size < 2) {
      buffer[0] = '\0';
      return 0;
    }
    std::memcpy(buffer, joined.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
  }
  std::string v = getPrivateProfileString(section, key, defaultValue, file);
  unsigned long n = static_cast<unsigned long>(v.size());
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, v.data(), n);
  buffer[n] = '\0';
  return n;
}

int getPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
  std::string v = getPrivateProfileString(section, key, "", file);
  if (v.empty()) return defaultValue;
  return static_cast<int>(leadingInteger(v));
}

bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
  // Names that are only looked up, to remove a key or a section, need no more than a line each.
  if (section == nullptr || file == nullptr || hasLineBreak(section) ||
      (key && hasLineBreak(key)) || (value && hasLineBreak(value)) ||
      (key && value && !writable(section, key, value))) {
    setLastError(kInvalidParameter);
    return false;
  }
  const detail::FileWriteLock lock(file);
  if (!lock.held()) return false;
  ProfileFile p;
  if (!p.load(file)) return false;
  if (key == nullptr) {
    if (!p.removeSection(section)) return true;
  } else if (value == nullptr) {
    if (!p.removeKey(section, key)) return true;
  } else if (!p.setValue(section, key, value)) {
    return false;
  }
  return replaceWholeFile(file, p.serialize());
}

std::vector<std::string> getPrivateProfileSectionNames(const char* file) {
  ProfileFile p;
  if (file == nullptr || !p.load(file)) return {};
  return p.sectionNames();
}

}  // namespace platform
