// The README's examples, taken from the README itself and run as a newcomer runs them from the
// checkout, in a scratch folder that stands in for it: a copy of the sample tree, and build/
// holding the programs. Each command section runs on a fresh one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/run_footlight.h"

namespace {

namespace fs = std::filesystem;
using footlight_testing::Lines;
using testing_support::RunProcess;

struct Readme {
  std::vector<std::string> lines;                                // the README, line by line
  std::vector<std::string> setup;                                // the commands' set-up block
  std::map<std::string, std::vector<std::string>> sections;      // "### name": its sh lines
  std::vector<std::string> table;                                // each table row's example
};

// The sh blocks of "## The commands": the one before the first "###" is the set-up, the others
// belong to their section; and the example of each row of the table.
Readme ReadReadme() {
  Readme readme;
  std::ifstream in(std::string(FOOTLIGHT_SOURCE_DIR) + "/README.md");
  for (std::string line; std::getline(in, line);) readme.lines.push_back(line);
  bool inCommands = false, inBlock = false;
  std::string section;
  for (const std::string& line : readme.lines) {
    if (inBlock) {
      if (line.rfind("```", 0) == 0)
        inBlock = false;
      else if (!line.empty())
        (section.empty() ? readme.setup : readme.sections[section]).push_back(line);
      continue;
    }
    if (line.rfind("## ", 0) == 0) inCommands = line == "## The commands";
    if (!inCommands) continue;
    if (line.rfind("### ", 0) == 0) section = line.substr(4);
    if (line == "```sh") inBlock = true;
    const size_t code = line.find("| `build/footlight ");
    if (line.rfind("| ", 0) == 0 && code != std::string::npos) {
      const size_t start = code + 3;
      readme.table.push_back(line.substr(start, line.find('`', start) - start));
    }
  }
  return readme;
}

std::vector<std::string> SectionNames() {
  std::vector<std::string> names;
  for (const auto& [name, lines] : ReadReadme().sections) names.push_back(name);
  return names;
}

TEST(Readme, TheFirstScreenHoldsTheQuickStartAndEveryTableExampleIsRunBelowIt) {
  const Readme readme = ReadReadme();
  std::string firstScreen;
  for (size_t i = 0; i < readme.lines.size() && i < 40; ++i) firstScreen += readme.lines[i] + "\n";
  for (const char* part : {"## Quick start", "bash scripts/main.sh", "out/frame.png", "build/footlight"})
    EXPECT_NE(firstScreen.find(part), std::string::npos) << part;
  EXPECT_FALSE(readme.setup.empty());
  EXPECT_GE(readme.table.size(), 15u);
  for (const std::string& example : readme.table) {
    bool run = false;
    for (const auto& [name, lines] : readme.sections)
      for (const std::string& line : lines) run = run || line == example;
    EXPECT_TRUE(run) << example;
  }
}

class ReadmeSection : public ::testing::TestWithParam<std::string> {};

// The run and terrain sections take over 20 s under the sanitizers: their examples draw the
// sample stage and the hills as a user would, each a start of the program.
TEST_P(ReadmeSection, ItsExamplesSucceedAndWriteOnlyBelowBuildAndOut) {
  const Readme readme = ReadReadme();
  const std::vector<std::string>& examples = readme.sections.at(GetParam());
  const fs::path scratch =
      fs::path(::testing::TempDir()) / ("footlight-readme-" + GetParam() + "-" + std::to_string(::getpid()));
  fs::remove_all(scratch);
  fs::create_directories(scratch / "build");
  fs::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", scratch / "samples", fs::copy_options::recursive);
  for (const char* program : {"footlight", "footlight-makeclip"})
    fs::create_symlink(fs::path(FOOTLIGHT_BINARY_DIR) / program, scratch / "build" / program);
  const std::string in = "cd '" + scratch.string() + "' && FOOTLIGHT_IPC_PREFIX=readme-" + GetParam() + "-" +
                         std::to_string(::getpid()) + "- ";
  for (const std::string& line : readme.setup) ASSERT_EQ(RunProcess(in + line + " 2>&1").status, 0) << line;
  for (const std::string& example : examples) {
    const auto run = RunProcess(in + example + " 2>&1");
    EXPECT_EQ(run.status, 0) << example << "\n" << run.out;
    for (const std::string& line : Lines(run.out)) {
      if (line.rfind("wrote ", 0) != 0) continue;
      std::string path = line.substr(6, line.find(':') == std::string::npos ? std::string::npos : line.find(':') - 6);
      const fs::path written = fs::path(path).is_absolute() ? fs::path(path) : scratch / path;
      EXPECT_TRUE(fs::exists(written)) << example << "\n" << line;
      const std::string relative = fs::relative(written, scratch).string();
      EXPECT_TRUE(relative.rfind("build/", 0) == 0 || relative.rfind("out/", 0) == 0) << example << "\n" << line;
    }
  }
  fs::remove_all(scratch);
}

INSTANTIATE_TEST_SUITE_P(Readme, ReadmeSection, ::testing::ValuesIn(SectionNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
