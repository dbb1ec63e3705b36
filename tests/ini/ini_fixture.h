// A resource tree in a fresh temporary directory, the module loaded into a reference host,
// and the INI service rooted at the tree.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/host_blocks.h"
#include "host/ini_service.h"
#include "support/module_host.h"

namespace ini_test {

struct IniFixture : ::testing::Test {
  std::string root;
  testing_support::ModuleHost m;
  std::unique_ptr<host::IniService> service;

  void SetUp() override {
    char pattern[] = "/tmp/footlight-ini-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    service = std::make_unique<host::IniService>(root, &m.host);
    m.host.SetIniService(service.get());
  }

  void TearDown() override {
    service.reset();
    std::filesystem::remove_all(root);
    EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u) << "an INI object was not released";
  }

  // Writes `text` byte for byte at `relative` (a '/' path below the root), making folders.
  void Put(const std::string& relative, const std::string& text) {
    const std::filesystem::path p = std::filesystem::path(root) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }

  std::string Get(const std::string& relative) {
    std::ifstream in(std::filesystem::path(root) / relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool Has(const std::string& relative) { return std::filesystem::exists(std::filesystem::path(root) / relative); }

  // The value GetString reads, or "<missing>".
  static std::string Read(IIniFile* f, const char* section, const char* key) {
    char buffer[256];
    return f->GetString(section, key, buffer, sizeof(buffer), "<missing>") ? std::string(buffer)
                                                                          : std::string("<missing>");
  }

  static std::vector<std::string> Sections(IIniFile* f) {
    std::vector<std::string> out;
    char buffer[260];
    for (bool ok = f->GetFirstSection(buffer, sizeof(buffer)); ok; ok = f->GetNextSection(buffer, sizeof(buffer)))
      out.push_back(buffer);
    return out;
  }

  static std::vector<std::string> AllValues(IIniFile* f, const char* section, const char* key) {
    std::vector<std::string> out;
    char buffer[256];
    if (!f->GetString(section, key, buffer, sizeof(buffer), "")) return out;
    out.push_back(buffer);
    while (f->GetNextString(section, key, buffer, sizeof(buffer))) out.push_back(buffer);
    return out;
  }
};

// Releases an INI object at the end of a scope, as the module does.
struct Held {
  IIniFile* file;
  explicit Held(IIniFile* f) : file(f) {}
  ~Held() { ReleaseIniFile(file); }
  IIniFile* operator->() const { return file; }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};

}  // namespace ini_test
