// The shared library must export DMAInterface and nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/elf_file.h"

namespace {

TEST(SharedLibrary, ExportsOnlyDMAInterface) {
  const testing_support::ElfFile module(std::string(FOOTLIGHT_BINARY_DIR) + "/libfootlight.so");
  ASSERT_TRUE(module.valid());
  EXPECT_EQ(module.DefinedSymbols(SHT_DYNSYM), std::vector<std::string>{"DMAInterface"});
}

}  // namespace
