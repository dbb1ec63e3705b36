#include "host/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>

#include "host/ini_service.h"
#include "win32/crt_string.h"

namespace host {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string OneLine(const char* s) {
  std::string out = s != nullptr ? s : "";
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

void CopyOut(char* buffer, int size, const std::string& text) {
  if (buffer == nullptr || size <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

bool ParseIniInt(const std::string& text, int* out) {
  size_t i = 0;
  while (i < text.size() && Blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  *out = static_cast<int>(value);
  return true;
}

bool ParseIniFloat(const std::string& text, float* out) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end && Blank(*p)) ++p;
  if (p < end && *p == '+') ++p;
  float value = 0;
  const auto result = std::from_chars(p, end, value, std::chars_format::general);
  if (result.ec != std::errc()) return false;
  *out = value;
  return true;
}

bool ParseIniBool(const std::string& text, bool* out) {
  const std::string t(Trim(text));
  for (const char* yes : {"true", "yes", "on"})
    if (_stricmp(t.c_str(), yes) == 0) return *out = true, true;
  for (const char* no : {"false", "no", "off"})
    if (_stricmp(t.c_str(), no) == 0) return *out = false, true;
  int n = 0;
  if (!ParseIniInt(t, &n)) return false;
  *out = n != 0;
  return true;
}

std::string FoldIniName(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

IniDocument::IniDocument() { AppendSection(std::string()); }

size_t IniDocument::AppendSection(std::string name) {
  const size_t at = sections.size();
  index_[FoldIniName(name)].push_back(at);
  sections.push_back(IniSection{std::move(name), {}, {}});
  return at;
}

void IniDocument::AppendEntry(size_t s, std::string key, std::string value) {
  IniSection& section = sections[s];
  section.keys[FoldIniName(key)].push_back(section.entries.size());
  section.entries.push_back(IniEntry{std::move(key), std::move(value)});
}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t current = 0;
  while (!text.empty()) {
    const size_t eol = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, eol);
    if (eol == std::string_view::npos) {
      text = std::string_view();
    } else {
      const bool crlf = text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n';
      text.remove_prefix(eol + (crlf ? 2 : 1));
    }
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      const size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      current = doc.AppendSection(std::string(Trim(name)));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    doc.AppendEntry(current, std::string(key), std::string(Trim(line.substr(eq + 1))));
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (size_t s = 0; s < sections.size(); ++s) {
    if (s > 0) {
      if (!out.empty()) out += "\r\n";
      out += "[" + sections[s].name + "]\r\n";
    }
    for (const IniEntry& e : sections[s].entries) out += e.key + "=" + e.value + "\r\n";
  }
  return out;
}

const std::vector<size_t>& IniDocument::Occurrences(const char* section) const {
  static const std::vector<size_t> kNone;
  const auto it = index_.find(FoldIniName(section != nullptr ? section : ""));
  return it == index_.end() ? kNone : it->second;
}

const std::vector<size_t>* IniDocument::Entries(size_t s, const std::string& foldedKey) const {
  const auto it = sections[s].keys.find(foldedKey);
  return it == sections[s].keys.end() ? nullptr : &it->second;
}

size_t IniDocument::SectionFor(const char* section, const char* key, size_t standingOn) const {
  constexpr size_t kNone = static_cast<size_t>(-1);
  if (key == nullptr) return kNone;
  const std::vector<size_t>& occurrences = Occurrences(section);
  if (occurrences.empty()) return kNone;
  const std::string folded = FoldIniName(key);
  // A "[]" section further down is not the unnamed part: it never overrides the keys above the
  // first section.
  if (section == nullptr || section[0] == '\0') return Entries(0, folded) != nullptr ? 0 : kNone;
  if (standingOn != kNone && standingOn < sections.size() && occurrences.size() > 1 &&
      FoldIniName(sections[standingOn].name) == FoldIniName(section))
    return Entries(standingOn, folded) != nullptr ? standingOn : kNone;
  for (size_t i = occurrences.size(); i-- > 0;)
    if (Entries(occurrences[i], folded) != nullptr) return occurrences[i];
  return kNone;
}

std::vector<const std::string*> IniDocument::Values(const char* section, const char* key, size_t standingOn) const {
  std::vector<const std::string*> values;
  const size_t s = SectionFor(section, key, standingOn);
  if (s == static_cast<size_t>(-1)) return values;
  const std::vector<size_t>* entries = Entries(s, FoldIniName(key));
  if (entries == nullptr) return values;
  for (size_t e : *entries) values.push_back(&sections[s].entries[e].value);
  return values;
}

size_t IniDocument::SectionForWriting(const char* section) {
  if (section == nullptr || section[0] == '\0') return 0;
  const std::vector<size_t>& occurrences = Occurrences(section);
  if (!occurrences.empty()) return occurrences.back();
  return AppendSection(section != nullptr ? section : "");
}

void IniDocument::Set(const char* section, const char* key, const std::string& value) {
  if (key == nullptr) return;
  const size_t s = SectionFor(section, key, static_cast<size_t>(-1));
  if (s != static_cast<size_t>(-1)) {
    sections[s].entries[Entries(s, FoldIniName(key))->front()].value = OneLine(value.c_str());
    return;
  }
  AppendEntry(SectionForWriting(section), key, OneLine(value.c_str()));
}

void IniDocument::Add(const char* section, const char* key, const std::string& value) {
  if (key == nullptr) return;
  AppendEntry(SectionForWriting(section), key, OneLine(value.c_str()));
}

IniFile::IniFile(std::shared_ptr<IniServiceCore> core, std::string path, std::shared_ptr<const IniDocument> document)
    : core_(std::move(core)), path_(std::move(path)), writable_(false), shared_(std::move(document)) {}

IniFile::IniFile(std::shared_ptr<IniServiceCore> core, std::string path, std::string resolvedPath)
    : core_(std::move(core)), path_(std::move(path)), resolvedPath_(std::move(resolvedPath)), writable_(true) {}

IniFile::~IniFile() {
  if (writable_ && uncommitted_) Save();
}

bool IniFile::Commit() {
  if (!writable_) {
    core_->Log("[INI] Commit on " + path_ + ", which is open for reading only: nothing written");
    return false;
  }
  uncommitted_ = false;
  return Save();
}

bool IniFile::Save() noexcept {
  try {
    const std::string text = own_.Serialize();
    const size_t slash = resolvedPath_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : resolvedPath_.substr(0, slash);
    std::string temp = dir + "/.ini-XXXXXX";
    std::string why;
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
      why = std::strerror(errno);
    } else {
      struct stat st {};
      fchmod(fd, stat(resolvedPath_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
      size_t done = 0;
      while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          why = std::strerror(n < 0 ? errno : ENOSPC);
          break;
        }
        done += static_cast<size_t>(n);
      }
      // Written is not stored: a full device may only say so when the data is flushed.
      if (why.empty() && fsync(fd) != 0) why = std::strerror(errno);
      if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
      if (why.empty() && rename(temp.c_str(), resolvedPath_.c_str()) != 0) why = std::strerror(errno);
      if (!why.empty()) unlink(temp.c_str());
    }
    core_->Forget(resolvedPath_);
    if (!why.empty()) core_->Log("[INI] cannot write " + path_ + ": " + why);
    return why.empty();
  } catch (...) {
    core_->Log("[INI] cannot write " + path_ + ": out of memory");
    return false;
  }
}

bool IniFile::MayWrite(const char* operation, const char* section, const char* key) {
  if (!writable_) {
    core_->Log(std::string("[INI] ") + operation + " on " + path_ + ", which is open for reading only: ignored");
    return false;
  }
  const std::string_view name = section != nullptr ? section : "";
  const std::string_view k = key != nullptr ? key : "";
  const char* why = nullptr;
  if (name != Trim(name)) why = "a section name with blanks at an end";
  else if (name.find_first_of("]\r\n") != std::string_view::npos) why = "a section name holding ']' or a line break";
  else if (k.empty()) why = "an empty key";
  else if (k != Trim(k)) why = "a key with blanks at an end";
  else if (k.find_first_of("=\r\n") != std::string_view::npos) why = "a key holding '=' or a line break";
  else if (k.front() == ';' || k.front() == '[') why = "a key that reads as a comment or a section";
  // The reader takes these three bytes at the start of a file as the byte-order mark.
  else if (name.empty() && k.substr(0, 3) == "\xEF\xBB\xBF") why = "a key that starts with a byte-order mark";
  if (why == nullptr) return true;
  core_->Log(std::string("[INI] ") + operation + " on " + path_ + " refused: [" + OneLine(section) + "] \"" +
             OneLine(key) + "\" is " + why + ", which would not read back");
  return false;
}

void IniFile::AddString(const char* section, const char* key, const char* text) {
  if (!MayWrite("AddString", section, key)) return;
  uncommitted_ = true;
  own_.Add(section, key, text != nullptr ? text : "");
}

void IniFile::WriteString(const char* section, const char* key, const char* text) {
  if (!MayWrite("WriteString", section, key)) return;
  uncommitted_ = true;
  own_.Set(section, key, text != nullptr ? text : "");
}

void IniFile::WriteInt(const char* section, const char* key, int value) {
  if (!MayWrite("WriteInt", section, key)) return;
  uncommitted_ = true;
  own_.Set(section, key, std::to_string(value));
}

void IniFile::WriteFloat(const char* section, const char* key, double value) {
  if (!MayWrite("WriteFloat", section, key)) return;
  uncommitted_ = true;
  // "%f" as the C locale writes it, whatever locale the process runs under.
  char text[400];
  const auto r = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 6);
  own_.Set(section, key, r.ec == std::errc() ? std::string(text, r.ptr) : std::string("0.000000"));
}

const std::string* IniFile::First(const char* section, const char* key) const {
  const IniDocument& doc = Doc();
  const size_t s = doc.SectionFor(section, key, walkAt_);
  if (s == static_cast<size_t>(-1)) return nullptr;
  return &doc.sections[s].entries[doc.Entries(s, FoldIniName(key))->front()].value;
}

bool IniFile::GetString(const char* section, const char* key, char* buffer, int size, const char* defaultText) {
  const IniDocument& doc = Doc();
  const size_t s = doc.SectionFor(section, key, walkAt_);
  const std::string* value = nullptr;
  if (s != static_cast<size_t>(-1)) {
    const std::string folded = FoldIniName(key);
    value = &doc.sections[s].entries[doc.Entries(s, folded)->front()].value;
    cursors_[std::to_string(s) + '\x1f' + folded] = 0;
  }
  CopyOut(buffer, size, value != nullptr ? *value : std::string(defaultText != nullptr ? defaultText : ""));
  return value != nullptr;
}

bool IniFile::GetNextString(const char* section, const char* key, char* buffer, int size) {
  const IniDocument& doc = Doc();
  const size_t s = doc.SectionFor(section, key, walkAt_);
  if (s == static_cast<size_t>(-1)) {
    CopyOut(buffer, size, std::string());
    return false;
  }
  const std::string folded = FoldIniName(key);
  const std::vector<size_t>& entries = *doc.Entries(s, folded);
  size_t& cursor = cursors_[std::to_string(s) + '\x1f' + folded];  // 0 when new: on the first value
  if (cursor + 1 >= entries.size()) {
    cursor = entries.size();
    CopyOut(buffer, size, std::string());
    return false;
  }
  ++cursor;
  CopyOut(buffer, size, doc.sections[s].entries[entries[cursor]].value);
  return true;
}

int IniFile::GetInt(const char* section, const char* key, int defaultValue) {
  const std::string* value = First(section, key);
  int n = 0;
  return value != nullptr && ParseIniInt(*value, &n) ? n : defaultValue;
}

float IniFile::GetFloat(const char* section, const char* key, float defaultValue) {
  const std::string* value = First(section, key);
  float f = 0;
  return value != nullptr && ParseIniFloat(*value, &f) ? f : defaultValue;
}

bool IniFile::GetBool(const char* section, const char* key, bool defaultValue) {
  const std::string* value = First(section, key);
  bool b = false;
  return value != nullptr && ParseIniBool(*value, &b) ? b : defaultValue;
}

bool IniFile::GetFirstSection(char* buffer, int size) {
  nextSection_ = 1;
  return GetNextSection(buffer, size);
}

bool IniFile::GetNextSection(char* buffer, int size) {
  if (nextSection_ == 0) nextSection_ = 1;  // not started: the first section
  const auto& sections = Doc().sections;
  if (nextSection_ >= sections.size()) {
    walkAt_ = static_cast<size_t>(-1);
    CopyOut(buffer, size, std::string());
    return false;
  }
  walkAt_ = nextSection_;
  CopyOut(buffer, size, sections[nextSection_++].name);
  return true;
}

}  // namespace host
