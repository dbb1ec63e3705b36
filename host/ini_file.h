// INI text and the IIniFile objects the host's INI service hands out.
//
// Reading:
// - Lines end with LF, CR-LF or a lone CR; a UTF-8 byte-order mark at the start is skipped.
// - Blanks (spaces, tabs) around lines, section names, keys and values are trimmed.
// - "[name]" starts a section (a missing ']' takes the rest of the line). Sections keep file
//   order, duplicates included. Keys before the first section form an unnamed part that a
//   null or empty section name addresses, and only those keys; it is not listed among the
//   sections. A section written "[]" is listed (as "") but its keys are never read: it cannot
//   override the keys before the first section.
// - Only a line whose first non-blank character is ';' is a comment: values may hold ';'.
// - "key=value" splits at the first '='; lines without '=' and keys that are empty are ignored.
// - Sections and keys compare without regard to ASCII case. Both are indexed when the text is
//   parsed, so a lookup costs the same however long the file is.
// - Two or more sections of one name: a keyed read while the section walk (GetFirstSection /
//   GetNextSection) stands on one of them reads that one; otherwise it reads the latest of them
//   that holds the key, so a later section overrides an earlier one. The values of a key are
//   its lines, in file order, within that one section.
//
// Values:
// - GetString copies the first value of the key (or the default, "" for null) into the
//   buffer, cut to size - 1 characters and always terminated; true when the key exists.
//   It also puts the key's cursor on that value.
// - GetNextString copies the value after the key's cursor and moves the cursor on; false
//   (and an empty buffer) at the end. Without an earlier GetString of the key the cursor is
//   on its first value. Every key of every section keeps a cursor of its own.
// - GetInt reads the leading decimal integer (blanks, an optional sign, digits; "12abc" is
//   12, "7.9" is 7), saturating at the int range; no digits gives the default.
// - GetFloat reads the leading decimal number ("1.5", "-2e3", ".5"); no number, or one beyond
//   the float range, gives the default.
// - GetBool: "true", "yes", "on" are true and "false", "no", "off" false (any case); a value
//   that reads as an integer (as GetInt) is true when it is not 0; anything else gives the
//   default.
// - GetFirstSection / GetNextSection list section names in file order, duplicates included.
//   After the last one the walk stands on no section.
//
// Writing (files from CreateIni): WriteString sets a key (replacing its first value, or
// appending it to its section, which is appended when missing); WriteInt writes "%d",
// WriteFloat "%f" as the C locale writes it; AddString always appends one more line for the
// key. Line breaks inside values become spaces. A section name or key that would not read
// back as written is refused with a log line and nothing changes: a key that is empty, holds
// '=', a line break, begins with ';' or '[', or has blanks at either end; a section name with
// ']', a line break or blanks at either end (null or "" is the unnamed part, always the keys
// before the first section).
// Commit writes the text now and tells whether it reached the disk: to a temporary file next
// to the target, flushed to the device, that then replaces it, so a failed write leaves the old
// file whole and no temporary file behind; a failure is also logged through the host log.
// Destroying a writer commits what was not committed yet (without a result to give).
// Files from OpenIni are read-only: write calls on them are logged and change nothing, and
// their Commit is false.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
  // Folded key -> the positions of its entries, in file order.
  std::unordered_map<std::string, std::vector<size_t>> keys;
};

// Lower-case ASCII, the form names and keys are compared in.
std::string FoldIniName(std::string_view s);

class IniDocument {
 public:
  IniDocument();
  static IniDocument Parse(std::string_view text);
  // The file text, CR-LF line ends.
  std::string Serialize() const;

  // The sections named `section` (null: the unnamed part), in file order; empty when none.
  const std::vector<size_t>& Occurrences(const char* section) const;
  // The section a keyed read of `section`/`key` reads: `standingOn` when it is one of the
  // occurrences, else the latest occurrence that holds the key; npos when the section chosen
  // does not hold the key.
  size_t SectionFor(const char* section, const char* key, size_t standingOn) const;
  // The positions of the key's entries in section `s`, or null.
  const std::vector<size_t>* Entries(size_t s, const std::string& foldedKey) const;
  // Every value of a key as SectionFor chooses the section, in file order.
  std::vector<const std::string*> Values(const char* section, const char* key,
                                         size_t standingOn = static_cast<size_t>(-1)) const;
  void Set(const char* section, const char* key, const std::string& value);
  void Add(const char* section, const char* key, const std::string& value);

  // [0] is the unnamed part before the first section; then the sections in file order.
  std::vector<IniSection> sections;

 private:
  size_t AppendSection(std::string name);
  void AppendEntry(size_t s, std::string key, std::string value);
  size_t SectionForWriting(const char* section);

  std::unordered_map<std::string, std::vector<size_t>> index_;  // folded name -> sections
};

class IniFile final : public IIniFile {
 public:
  // A read-only view of a parsed file.
  IniFile(std::shared_ptr<IniServiceCore> core, std::string path, std::shared_ptr<const IniDocument> document);
  // A new file, written to `resolvedPath` by Commit or on destruction.
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
  bool Commit() override;

  bool Writable() const { return writable_; }

 private:
  const IniDocument& Doc() const { return writable_ ? own_ : *shared_; }
  const std::string* First(const char* section, const char* key) const;
  // False (and a log line) when the write may not go ahead: a read-only file, or a name or
  // key that would not read back as written.
  bool MayWrite(const char* operation, const char* section, const char* key);
  bool Save() noexcept;

  std::shared_ptr<IniServiceCore> core_;
  std::string path_;          // as the caller named it
  std::string resolvedPath_;  // writers only
  bool writable_;
  bool uncommitted_ = true;   // writers: changed since the last Commit
  std::shared_ptr<const IniDocument> shared_;
  IniDocument own_;
  std::unordered_map<std::string, size_t> cursors_;  // "section position\x1ffolded key" -> value last read
  size_t nextSection_ = 0;                            // 0: the walk has not started
  size_t walkAt_ = static_cast<size_t>(-1);           // the section the walk stands on
};

// Text parsing shared with the tests: each false when the text holds no such value.
bool ParseIniInt(const std::string& text, int* out);
bool ParseIniFloat(const std::string& text, float* out);
bool ParseIniBool(const std::string& text, bool* out);

}  // namespace host
