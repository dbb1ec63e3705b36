// What a 64-bit ELF shared object says of itself: the symbols it defines (dynamic and
// static tables), the libraries it needs and its run path. Read from the file's bytes, with
// every offset checked against the file's size.
#pragma once
#include <elf.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

class ElfFile {
 public:
  explicit ElfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamsize size = in ? static_cast<std::streamsize>(in.tellg()) : 0;
    image_.resize(static_cast<size_t>(std::max<std::streamsize>(size, 0)));
    in.seekg(0);
    if (!in.read(image_.data(), size)) image_.clear();
    valid_ = Read(0, &header_) && std::memcmp(header_.e_ident, ELFMAG, SELFMAG) == 0 &&
             header_.e_ident[EI_CLASS] == ELFCLASS64 && header_.e_shentsize == sizeof(Elf64_Shdr);
  }

  bool valid() const { return valid_; }

  // Global and weak symbols defined in the table of this type (SHT_DYNSYM or SHT_SYMTAB),
  // by their mangled names.
  std::vector<std::string> DefinedSymbols(uint32_t tableType, bool includeLocal = false) const {
    std::vector<std::string> names;
    ForEachEntry<Elf64_Sym>(tableType, [&](const Elf64_Sym& sym, const Elf64_Shdr& strings) {
      const int bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || sym.st_name == 0) return true;
      if (includeLocal || bind == STB_GLOBAL || bind == STB_WEAK) names.push_back(String(strings, sym.st_name));
      return true;
    });
    return names;
  }

  // The DT_NEEDED entries, in order.
  std::vector<std::string> Needed() const { return DynamicStrings(DT_NEEDED); }
  // DT_RUNPATH, or DT_RPATH when there is no DT_RUNPATH; "" for neither.
  std::string RunPath() const {
    auto runpath = DynamicStrings(DT_RUNPATH);
    if (runpath.empty()) runpath = DynamicStrings(DT_RPATH);
    return runpath.empty() ? std::string() : runpath.front();
  }

 private:
  template <typename T>
  bool Read(uint64_t offset, T* out) const {
    if (offset > image_.size() || image_.size() - offset < sizeof(T)) return false;
    std::memcpy(out, image_.data() + offset, sizeof(T));
    return true;
  }
  bool Section(size_t index, Elf64_Shdr* out) const {
    return index < header_.e_shnum && Read(header_.e_shoff + index * sizeof(Elf64_Shdr), out);
  }
  // Calls visit(entry, string table) for each entry of each section of this type, until it
  // returns false for a section.
  template <typename Entry, typename Visit>
  void ForEachEntry(uint32_t sectionType, Visit visit) const {
    for (size_t i = 0; valid_ && i < header_.e_shnum; ++i) {
      Elf64_Shdr sh;
      Elf64_Shdr strings;
      if (!Section(i, &sh) || sh.sh_type != sectionType || !Section(sh.sh_link, &strings)) continue;
      for (size_t k = 0; k < sh.sh_size / sizeof(Entry); ++k) {
        Entry entry;
        if (!Read(sh.sh_offset + k * sizeof(Entry), &entry) || !visit(entry, strings)) break;
      }
    }
  }
  std::string String(const Elf64_Shdr& table, uint64_t offset) const {
    if (offset >= table.sh_size || table.sh_offset + offset >= image_.size()) return std::string();
    const char* start = image_.data() + table.sh_offset + offset;
    const size_t limit = std::min<uint64_t>(table.sh_size - offset, image_.size() - table.sh_offset - offset);
    return std::string(start, strnlen(start, limit));
  }
  std::vector<std::string> DynamicStrings(int64_t tag) const {
    std::vector<std::string> values;
    ForEachEntry<Elf64_Dyn>(SHT_DYNAMIC, [&](const Elf64_Dyn& entry, const Elf64_Shdr& strings) {
      if (entry.d_tag == DT_NULL) return false;
      if (entry.d_tag == tag) values.push_back(String(strings, entry.d_un.d_val));
      return true;
    });
    return values;
  }

  std::vector<char> image_;
  Elf64_Ehdr header_{};
  bool valid_ = false;
};

}  // namespace testing_support
