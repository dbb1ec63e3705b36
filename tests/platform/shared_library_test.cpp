// One platform library per process: the module loaded with dlopen, the host and the tests all
// reach the same functions and the same state, and only the marked functions are exported.
#include <cxxabi.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/elf_file.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

const std::string kBinary = FOOTLIGHT_BINARY_DIR;
const std::string kPlatformName = "libfootlight_platform.so";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// "win32::SplitCommandLine[abi:cxx11](char const*)" -> "SplitCommandLine".
std::string UnqualifiedName(const std::string& mangled) {
  int status = 0;
  char* text = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
  std::string name = status == 0 && text != nullptr ? text : mangled;
  std::free(text);
  name = name.substr(0, name.find('('));
  name = name.substr(0, name.find('['));
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

TEST(PlatformLibrary, TheDlopenedModuleReachesTheHostsOwnPlatform) {
  void* module = dlopen((kBinary + "/libfootlight.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();

  // The name the platform exports GetAsyncKeyState under, looked up through the module.
  Dl_info own{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetAsyncKeyState), &own), 0);
  ASSERT_NE(own.dli_sname, nullptr);
  void* throughModule = dlsym(module, own.dli_sname);
  ASSERT_NE(throughModule, nullptr);
  EXPECT_EQ(throughModule, reinterpret_cast<void*>(&GetAsyncKeyState));

  Dl_info where{};
  ASSERT_NE(dladdr(throughModule, &where), 0);
  EXPECT_TRUE(EndsWith(where.dli_fname, "/" + kPlatformName)) << where.dli_fname;

  // A key the host holds down is down for whoever calls through that pointer.
  win32::ResetState();
  auto asyncKeyState = reinterpret_cast<SHORT (*)(int)>(throughModule);
  EXPECT_GE(asyncKeyState(VK_HOME), 0);
  win32::SetKeyDown(VK_HOME, true);
  EXPECT_LT(asyncKeyState(VK_HOME), 0);
  win32::SetKeyDown(VK_HOME, false);
  EXPECT_GE(asyncKeyState(VK_HOME), 0);
  win32::ResetState();
  dlclose(module);
}

TEST(PlatformLibrary, TheModuleNeedsThePlatformAndCarriesNoCopyOfIt) {
  const testing_support::ElfFile module(kBinary + "/libfootlight.so");
  const testing_support::ElfFile platform(kBinary + "/" + kPlatformName);
  const testing_support::ElfFile program(kBinary + "/footlight");
  ASSERT_TRUE(module.valid() && platform.valid() && program.valid());

  const auto needed = module.Needed();
  EXPECT_NE(std::find(needed.begin(), needed.end(), kPlatformName), needed.end());
  const auto programNeeds = program.Needed();
  EXPECT_NE(std::find(programNeeds.begin(), programNeeds.end(), kPlatformName), programNeeds.end());
  EXPECT_EQ(module.RunPath(), "$ORIGIN");
  // Beside the program in the build, in lib/ beside bin/ once installed.
  EXPECT_EQ(program.RunPath(), "$ORIGIN:$ORIGIN/../lib");

  // Not one platform function is defined in the module, not even as a local copy.
  const auto exported = platform.DefinedSymbols(SHT_DYNSYM);
  ASSERT_GT(exported.size(), 100u);
  std::set<std::string> moduleDefines;
  for (uint32_t table : {uint32_t{SHT_DYNSYM}, uint32_t{SHT_SYMTAB}})
    for (const auto& name : module.DefinedSymbols(table, true)) moduleDefines.insert(name);
  for (const auto& name : exported) EXPECT_EQ(moduleDefines.count(name), 0u) << name;
}

// The platform's exports are exactly the functions its headers mark, and the members, virtual
// tables and type information of the classes they mark: no unmarked helper and no instance of
// a C++ library template.
TEST(PlatformLibrary, ExportsExactlyTheMarkedFunctionsAndClasses) {
  // A marked class ("class FOOTLIGHT_PLATFORM_API CBaseFilter : ..." or "{") is not a function.
  const std::regex marked(R"(FOOTLIGHT_PLATFORM_API\s+(?!\w+\s*(?:\{|:[^:]))[^;({]*?(\w+)\s*\()");
  const std::regex markedClass(R"((?:class|struct)\s+FOOTLIGHT_PLATFORM_API\s+(\w+))");
  std::set<std::string> declared, classes;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(FOOTLIGHT_SOURCE_DIR) + "/platform")) {
    if (entry.path().extension() != ".h" || entry.path().filename() == "platform_api.h") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string source = text.str();
    for (std::sregex_iterator it(source.begin(), source.end(), marked), end; it != end; ++it)
      declared.insert((*it)[1]);
    for (std::sregex_iterator it(source.begin(), source.end(), markedClass), end; it != end; ++it)
      classes.insert((*it)[1]);
  }
  ASSERT_GT(declared.size(), 100u);
  ASSERT_GT(classes.size(), 5u);

  // "non-virtual thunk to CBaseFilter::Run(long)" and "typeinfo for CBaseFilter" belong to
  // CBaseFilter.
  const auto classOf = [](const std::string& mangled) -> std::string {
    int status = 0;
    char* text = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    std::string name = status == 0 && text != nullptr ? text : mangled;
    std::free(text);
    for (const char* prefix : {"non-virtual thunk to ", "virtual thunk to "})
      if (name.rfind(prefix, 0) == 0) name = name.substr(std::strlen(prefix));
    for (const char* prefix : {"vtable for ", "typeinfo name for ", "typeinfo for ", "VTT for "})
      if (name.rfind(prefix, 0) == 0) return name.substr(std::strlen(prefix));
    const size_t colon = name.find("::");
    return colon == std::string::npos ? "" : name.substr(0, colon);
  };

  std::set<std::string> exported, exportedClasses;
  const testing_support::ElfFile platform(kBinary + "/" + kPlatformName);
  for (const auto& name : platform.DefinedSymbols(SHT_DYNSYM)) {
    EXPECT_EQ(name.rfind("_ZNSt", 0), std::string::npos) << "a C++ library instance is exported: " << name;
    const std::string owner = classOf(name);
    if (classes.count(owner)) {
      exportedClasses.insert(owner);
      continue;
    }
    exported.insert(UnqualifiedName(name));
  }
  std::vector<std::string> unmarked, missing, missingClasses;
  std::set_difference(exported.begin(), exported.end(), declared.begin(), declared.end(), std::back_inserter(unmarked));
  std::set_difference(declared.begin(), declared.end(), exported.begin(), exported.end(), std::back_inserter(missing));
  std::set_difference(classes.begin(), classes.end(), exportedClasses.begin(), exportedClasses.end(),
                      std::back_inserter(missingClasses));
  EXPECT_EQ(unmarked, std::vector<std::string>{}) << "exported without a mark";
  EXPECT_EQ(missing, std::vector<std::string>{}) << "marked but not exported";
  EXPECT_EQ(missingClasses, std::vector<std::string>{}) << "classes marked but not exported";
}

}  // namespace
