// The host's INI service: the input is an INI file, opened through OpenIni as the module opens
// its files. Then every read operation: every key of every section through GetString and
// GetNextString (each value as the service's own document gives it, cut and terminated as the
// buffer asks), GetInt, GetFloat and GetBool, keys that are missing, and the section walk (with
// buffers too small as well). Last the file is written back through CreateIni, one AddString
// per value: every value must read back, and writing back what was read must give the same
// bytes again.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/dma_interface.h"
#include "frame/host_blocks.h"
#include "fuzz_support.h"
#include "host/host.h"
#include "host/ini_file.h"
#include "host/ini_service.h"

namespace {

struct State {
  fuzz::ScratchRoot root;
  host::ReferenceHost host;
  host::IniService service{root.path(), &host};
  State() {
    host.SetIniService(&service);
    FUZZ_CHECK(host.LoadModule(&DMAInterface) != nullptr, "the module did not load");
  }
};

State& Shared() {
  static State* state = new State;
  return *state;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The text a C string can carry: up to the first NUL.
std::string AsCString(const std::string& s) { return std::string(s.c_str()); }

struct Key {
  std::string section;  // as the file has it; "" is the unnamed part
  std::string key;
};

// Every (section, key) of the document once, in file order, names compared without case.
// Names that hold a NUL are left out: no caller can name them. So are the keys of a "[]" section
// below the first: a read with an empty name takes the keys above the first section only.
std::vector<Key> DistinctKeys(const host::IniDocument& doc) {
  std::vector<Key> keys;
  for (size_t i = 0; i < doc.sections.size(); ++i) {
    const host::IniSection& s = doc.sections[i];
    if (i > 0 && s.name.empty()) continue;
    for (const host::IniEntry& e : s.entries) {
      if (s.name.find('\0') != std::string::npos || e.key.find('\0') != std::string::npos) continue;
      const bool known = std::any_of(keys.begin(), keys.end(), [&](const Key& k) {
        return Lower(k.section) == Lower(s.name) && Lower(k.key) == Lower(e.key);
      });
      if (!known) keys.push_back(Key{s.name, e.key});
    }
  }
  return keys;
}

// Every value of the key as the module reads it: GetString, then GetNextString to the end.
std::vector<std::string> ReadAll(IIniFile* ini, const char* section, const char* key, int size) {
  std::vector<std::string> values;
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
  if (!ini->GetString(section, key, buffer.data(), size, "")) {
    FUZZ_CHECK(buffer[0] == '\0', "a missing key did not give its empty default");
    return values;
  }
  do {
    FUZZ_CHECK(std::memchr(buffer.data(), '\0', static_cast<size_t>(size)) != nullptr,
               "a value was not terminated within the buffer");
    FUZZ_CHECK(buffer[static_cast<size_t>(size)] == '#', "a read wrote past the buffer");
    values.emplace_back(buffer.data());
  } while (ini->GetNextString(section, key, buffer.data(), size));
  FUZZ_CHECK(buffer[0] == '\0', "GetNextString at the end left text in the buffer");
  return values;
}

void CheckSections(IIniFile* ini, const host::IniDocument& doc) {
  for (const int size : {260, 4, 1}) {
    std::vector<std::string> names;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
    for (bool more = ini->GetFirstSection(buffer.data(), size); more;
         more = ini->GetNextSection(buffer.data(), size)) {
      FUZZ_CHECK(buffer[static_cast<size_t>(size)] == '#', "a section name was written past the buffer");
      names.emplace_back(buffer.data());
    }
    FUZZ_CHECK(names.size() + 1 == doc.sections.size(), "the section walk missed or added sections");
    for (size_t i = 0; i < names.size(); ++i)
      FUZZ_CHECK(names[i] == AsCString(doc.sections[i + 1].name).substr(0, static_cast<size_t>(size) - 1),
                 "a section name read back wrong");
  }
}

void CheckKey(IIniFile* ini, const host::IniDocument& doc, const Key& k) {
  const char* section = k.section.c_str();
  const char* key = k.key.c_str();
  std::vector<std::string> expected;
  for (const std::string* v : doc.Values(section, key)) expected.push_back(AsCString(*v));
  FUZZ_CHECK(!expected.empty(), "a key of the file has no values");
  FUZZ_CHECK(ReadAll(ini, section, key, 4096) == expected, "the values of a key read back wrong");
  // A small buffer cuts every value and still walks them all.
  const std::vector<std::string> cut = ReadAll(ini, section, key, 3);
  FUZZ_CHECK(cut.size() == expected.size(), "a small buffer changed the number of values");
  for (size_t i = 0; i < cut.size(); ++i) FUZZ_CHECK(cut[i] == expected[i].substr(0, 2), "a value was cut wrong");

  // Typed reads: a default comes back exactly when the value is not of the type.
  const std::string& first = expected.front();
  const int i1 = ini->GetInt(section, key, 17), i2 = ini->GetInt(section, key, -17);
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(first.c_str(), &end, 10);
  const bool decimal = end != first.c_str() && (first[0] == '-' || first[0] == '+' || (first[0] >= '0' && first[0] <= '9'));
  if (decimal && errno == 0 && parsed >= INT32_MIN && parsed <= INT32_MAX)
    FUZZ_CHECK(i1 == parsed && i2 == parsed, "GetInt read a plain integer wrong");
  if (i1 != i2) FUZZ_CHECK(i1 == 17 && i2 == -17, "GetInt mixed a default into a value");
  const float f1 = ini->GetFloat(section, key, 0.25f), f2 = ini->GetFloat(section, key, -0.5f);
  FUZZ_CHECK(!std::isnan(f1) || std::isnan(f2), "GetFloat read NaN only once");
  if (!(f1 == f2) && !std::isnan(f1)) FUZZ_CHECK(f1 == 0.25f && f2 == -0.5f, "GetFloat mixed a default into a value");
  const bool b1 = ini->GetBool(section, key, true), b2 = ini->GetBool(section, key, false);
  // A value with a NUL reads as text only up to it, but is judged whole as a truth value.
  const std::string& whole = *doc.Values(section, key).front();
  bool parsedBool = false;
  if (whole.find('\0') != std::string::npos) {
    FUZZ_CHECK(b1 == b2 || (b1 && !b2), "GetBool read a value it does not take as both");
  } else if (host::ParseIniBool(whole, &parsedBool)) {
    FUZZ_CHECK(b1 == parsedBool && b2 == parsedBool, "GetBool ignored its value");
  } else {
    FUZZ_CHECK(b1 && !b2, "GetBool read a value that is not a truth value");
  }

  // A key that is not there gives the default, cut to the buffer. No key of a file holds '='.
  const std::string missing = k.key + "=";
  char buffer[4] = {'#', '#', '#', '#'};
  FUZZ_CHECK(!ini->GetString(section, missing.c_str(), buffer, 3, "default"), "a missing key was found");
  FUZZ_CHECK(std::string(buffer) == "de" && buffer[3] == '#', "a missing key gave the wrong default");
}

// Whether the writer takes a key of the file. It refuses what would not read back as written: an
// empty key, one that would read as a comment or a section, and a key of the unnamed part that
// starts with the byte-order mark (it would be written at the very start of the file). A
// section of no name is the unnamed part.
bool Writable(const std::string& section, const std::string& key) {
  if (key.empty() || key[0] == ';' || key[0] == '[') return false;
  return !section.empty() || key.compare(0, 3, "\xEF\xBB\xBF") != 0;
}

size_t EntryCount(const host::IniDocument& doc) {
  size_t n = 0;
  for (size_t i = 0; i < doc.sections.size(); ++i)
    for (const host::IniEntry& e : doc.sections[i].entries) n += Writable(doc.sections[i].name, e.key) ? 1 : 0;
  return n;
}

// The document written through CreateIni as `name`, one AddString per value in file order;
// the bytes of the file made.
std::string WriteBack(State& s, const host::IniDocument& doc, const char* name) {
  IIniFile* out = s.service.CreateIni(name, 0);
  FUZZ_CHECK(out != nullptr, "CreateIni refused a file in the scratch folder");
  for (size_t i = 0; i < doc.sections.size(); ++i)
    for (const host::IniEntry& e : doc.sections[i].entries)
      out->AddString(i == 0 ? nullptr : doc.sections[i].name.c_str(), e.key.c_str(), e.value.c_str());
  ReleaseIniFile(out);
  return s.root.Get(name);
}

// Written back, every value reads back; and what reads back, written again, gives the same
// file: the writer writes nothing the reader takes for something else.
void CheckRewrite(State& s, const host::IniDocument& doc) {
  const std::string first = WriteBack(s, doc, "rewritten.ini");
  const host::IniDocument again = host::IniDocument::Parse(first);
  FUZZ_CHECK(EntryCount(again) == EntryCount(doc), "a value written back did not read back");
  FUZZ_CHECK(WriteBack(s, again, "rewritten-again.ini") == first,
             "a file written back read back as something else");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = Shared();
  const std::string text(fuzz::AsText(data, size));
  s.root.Put("input.ini", text);
  s.service.Flush();
  const host::IniDocument doc = host::IniDocument::Parse(text);
  // Keyed reads first, on a file of their own: a section walk may decide which section they read.
  IIniFile* ini = s.service.OpenIni("INPUT.INI", 0);
  FUZZ_CHECK(ini != nullptr, "OpenIni refused a file that exists");
  for (const Key& k : DistinctKeys(doc)) CheckKey(ini, doc, k);
  ReleaseIniFile(ini);
  ini = s.service.OpenIni("input.ini", 0);
  FUZZ_CHECK(ini != nullptr, "OpenIni refused a file it opened before");
  CheckSections(ini, doc);
  ReleaseIniFile(ini);
  // Names and values with a NUL cannot be handed to the writer whole.
  if (text.find('\0') == std::string::npos) CheckRewrite(s, doc);
  FUZZ_CHECK(s.host.Allocator().LiveBlocks() == 0, "an INI object was left alive");
  return 0;
}
