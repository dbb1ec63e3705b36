// INI text and the IIniFile objects the host's INI service hands out.
//
// Reading:
// - Lines end with LF or CR-LF; a UTF-8 byte-order mark at the start is skipped.
// - Blanks (spaces, tabs) around lines, section names, keys and values are trimmed.
// - "[name]" starts a section (a missing ']' takes the rest of the line). Sections keep file
//   order, duplicates included. Keys before the first section form an unnamed part that a
//   null or empty section name addresses; it is not listed among the sections.
// - Only a line whose first non-blank character is ';' is a comment: values may hold ';'.
// - "key=value" splits at the first '='; lines without '=' and keys that are empty are ignored.
// - Sections and keys compare without regard to ASCII case. The values of a key are all its
//   lines, in file order, across every section of that name.
//
// Values:
// - GetString copies the first value of the key (or the default, "" for null) into the
//   buffer, cut to size - 1 characters and always terminated; true when the key exists.
//   It also puts the key's cursor on that value.
// - GetNextString copies the value after the key's cursor and moves the cursor on; false
//   (and an empty buffer) at the end. Without an earlier GetString of the key the cursor is
//   on its first value. Every key keeps a cursor of its own.
// - GetInt reads the leading decimal integer (blanks, an optional sign, digits; "12abc" is
//   12, "7.9" is 7), saturating at the int range; no digits gives the default.
// - GetFloat reads the leading decimal number ("1.5", "-2e3", ".5"); no number, or one beyond
//   the float range, gives the default.
// - GetBool: "true", "yes", "on" are true and "false", "no", "off" false (any case); a value
//   that reads as an integer (as GetInt) is true when it is not 0; anything else gives the
//   default.
// - GetFirstSection / GetNextSection list section names in file order, duplicates included.
//
// Writing (files from CreateIni): WriteString sets a key (replacing its first value, or
// appending it to its section, which is appended when missing); WriteInt writes "%d",
// WriteFloat "%f"; AddString always appends one more line for the key. Line breaks inside
// names and values become spaces. The file is written, CR-LF, when the object is destroyed:
// to a temporary file next to it that then replaces it, so a failed write leaves the old
// file whole; a failure is logged through the host log. Files from OpenIni are read-only:
// write calls on them are logged and change nothing.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/host_interfaces.h"

namespace host {

struct IniServiceCore;

struct IniEntry {
  std::string key;
  std::string value;
};

struct IniSection {
  std::string name;
  std::vector<IniEntry> entries;
};

class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);
  // The file text, CR-LF line ends.
  std::string Serialize() const;

  // Every value of a key, in file order; `section` null is the unnamed part.
  std::vector<const std::string*> Values(const char* section, const char* key) const;
  void Set(const char* section, const char* key, const std::string& value);
  void Add(const char* section, const char* key, const std::string& value);

  // [0] is the unnamed part before the first section; then the sections in file order.
  std::vector<IniSection> sections{IniSection{}};

 private:
  IniSection& SectionForWriting(const char* section);
};

class IniFile final : public IIniFile {
 public:
  // A read-only view of a parsed file.
  IniFile(std::shared_ptr<IniServiceCore> core, std::string path, std::shared_ptr<const IniDocument> document);
  // A new file, written to `resolvedPath` on destruction.
  IniFile(std::shared_ptr<IniServiceCore> core, std::string path, std::string resolvedPath);
  ~IniFile() override;
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  void AddString(const char* section, const char* key, const char* text) override;
  void WriteString(const char* section, const char* key, const char* text) override;
  void WriteInt(const char* section, const char* key, int value) override;
  void WriteFloat(const char* section, const char* key, double value) override;
  bool GetString(const char* section, const char* key, char* buffer, int size, const char* defaultText) override;
  bool GetNextString(const char* section, const char* key, char* buffer, int size) override;
  int GetInt(const char* section, const char* key, int defaultValue) override;
  float GetFloat(const char* section, const char* key, float defaultValue) override;
  bool GetBool(const char* section, const char* key, bool defaultValue) override;
  bool GetFirstSection(char* buffer, int size) override;
  bool GetNextSection(char* buffer, int size) override;

  bool Writable() const { return writable_; }

 private:
  const IniDocument& Doc() const { return writable_ ? own_ : *shared_; }
  const std::string* First(const char* section, const char* key) const;
  bool RefuseWrite(const char* operation);
  void Save() noexcept;

  std::shared_ptr<IniServiceCore> core_;
  std::string path_;          // as the caller named it
  std::string resolvedPath_;  // writers only
  bool writable_;
  std::shared_ptr<const IniDocument> shared_;
  IniDocument own_;
  std::map<std::string, size_t> cursors_;  // folded "section\x1fkey" -> index of the value last read
  size_t nextSection_ = 0;
};

// Text parsing shared with the tests: each false when the text holds no such value.
bool ParseIniInt(const std::string& text, int* out);
bool ParseIniFloat(const std::string& text, float* out);
bool ParseIniBool(const std::string& text, bool* out);

}  // namespace host
