#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "frame/exception.h"
#include "frame/module_globals.h"
#include "support/module_host.h"

using testing_support::ModuleHost;

namespace {

const std::string kEntry = host::ObjectRegistry::kEntryMarker;

struct GuardTest : ::testing::Test {
  ModuleHost m;
  const std::vector<std::string>& Log() { return m.host.Registry().LogLines(); }

  // Runs `f` and returns the _EXS it lets out; fails the test when it lets out nothing else.
  template <class F>
  _EXS Catch(F&& f) {
    try {
      f();
    } catch (const _EXS& e) {
      return e;
    } catch (...) {
      ADD_FAILURE() << "something other than an _EXS came out";
      return _EXS::Make("<other>");
    }
    ADD_FAILURE() << "nothing came out";
    return _EXS::Make("<none>");
  }
};

void RaiseDeep() {
  Guard("Outer", [] { Guard("Middle", [] { Guard("Inner", [] { RaiseExs("AdaptiveBinaryTree", 1425); }); }); });
}

TEST_F(GuardTest, RaiseThroughThreeGuardsLogsThePlaceThenEachNameInnermostFirst) {
  const _EXS e = Catch(RaiseDeep);
  EXPECT_STREQ(e.text, "URE");
  EXPECT_EQ(e.flag, 0u);
  const std::vector<std::string> expected = {kEntry,  "User Rised Exception", "AdaptiveBinaryTree line 1425",
                                             "Inner", kEntry,
                                             "Middle", kEntry,
                                             "Outer",  kEntry};
  EXPECT_EQ(Log(), expected);
}

TEST_F(GuardTest, RaiseMacroLogsTheBareSourceFileName) {
  const int line = __LINE__ + 1;
  const _EXS e = Catch([] { FL_RAISE(); });
  EXPECT_STREQ(e.text, "URE");
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[2], "guard_test.cpp line " + std::to_string(line));
}

TEST_F(GuardTest, NormalRunLogsNothingAndReturnsTheBodysResult) {
  EXPECT_EQ(Guard("Op", [] { return 5; }, -1), 5);
  bool ran = false;
  Guard("VoidOp", [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(Log().empty());
}

TEST_F(GuardTest, ExsWithNonzeroFlagIsTakenInByTheFirstGuardItReaches) {
  int outerResult = 0;
  const int innerResult = Guard(
      "Outer",
      [&] {
        const int r = Guard("Inner", []() -> int { throw _EXS::Make("foreign", 1); }, 42);
        outerResult = r;
        return r + 1;
      },
      -1);
  EXPECT_EQ(outerResult, 42);  // the inner operation returned its stated result
  EXPECT_EQ(innerResult, 43);  // and the outer one carried on normally
  EXPECT_EQ(Log(), std::vector<std::string>{"Inner"});

  // The stated result takes the body's type: null for an operation that gives a pointer.
  static int model = 3;
  EXPECT_EQ(Guard("GetModelPtr", []() -> int* { throw _EXS::Make("x", 2); }, nullptr), nullptr);
  EXPECT_EQ(Guard("GetModelPtr", []() -> int* { return &model; }, nullptr), &model);

  // A void operation simply returns.
  Guard("VoidOp", [] { throw _EXS::Make("x", 0xFFFFFFFFu); });
  EXPECT_EQ(Log().back(), "VoidOp");
}

TEST_F(GuardTest, ExsKeepsItsTextThroughTwoGuards) {
  const _EXS e = Catch([] { Guard("A", [] { Guard("B", [] { throw _EXS::Make("deep trouble"); }); }); });
  EXPECT_STREQ(e.text, "deep trouble");
  EXPECT_EQ(Log(), (std::vector<std::string>{"B", kEntry, "A", kEntry}));
}

TEST_F(GuardTest, CharacterStringBecomesExsWithItsText) {
  const _EXS e = Catch([] { Guard("Op", [] { throw "bad model"; }); });
  EXPECT_STREQ(e.text, "bad model");
  EXPECT_EQ(e.flag, 0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{kEntry, "User Rised Exception", "Op"}));

  m.host.Registry().ClearLog();
  const _EXS n = Catch([] { Guard("Op", [] { throw static_cast<const char*>(nullptr); }); });
  EXPECT_STREQ(n.text, "EXS( unknown )");

  // A writable character pointer is a character string too.
  static char writable[] = "mutable text";
  const _EXS w = Catch([] { Guard("Op", [] { throw static_cast<char*>(writable); }); });
  EXPECT_STREQ(w.text, "mutable text");
}

TEST_F(GuardTest, LongCharacterStringIsCutToTheTextSize) {
  static std::string longText;
  longText.clear();
  for (int i = 0; i < 400; ++i) longText += static_cast<char>('a' + i % 26);
  const _EXS e = Catch([] { Guard("Op", [] { throw longText.c_str(); }); });
  EXPECT_EQ(std::string(e.text), longText.substr(0, 291));
  EXPECT_EQ(e.text[291], '\0');
}

TEST_F(GuardTest, ForeignExceptionsBecomeUnknown) {
  const _EXS a = Catch([] { Guard("Op", [] { throw std::runtime_error("x"); }); });
  EXPECT_STREQ(a.text, "unknown");
  EXPECT_EQ(a.flag, 0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{kEntry, "System Rised Exception", "Op"}));

  m.host.Registry().ClearLog();
  const _EXS b = Catch([] { Guard("Outer", [] { Guard("Inner", [] { throw 17; }); }); });
  EXPECT_STREQ(b.text, "unknown");
  // Once turned into an _EXS, the outer guard sees an _EXS with flag 0.
  EXPECT_EQ(Log(), (std::vector<std::string>{kEntry, "System Rised Exception", "Inner", "Outer", kEntry}));
}

TEST_F(GuardTest, AssertionReachesTheHostAsExsAssert) {
  const int* pRenderable = nullptr;
  const int line = __LINE__ + 1;
  const _EXS e = Catch([&] { Guard("SceneObjectCompleteListener", [&] { FL_ASSERT(pRenderable); }); });
  EXPECT_STREQ(e.text, "assert");
  const std::vector<std::string> expected = {
      "Assert failed in guard_test.cpp line " + std::to_string(line) + ", expression string pRenderable", kEntry,
      "User Rised Exception", "SceneObjectCompleteListener"};
  EXPECT_EQ(Log(), expected);
}

TEST_F(GuardTest, AssertionOutsideAGuardThrowsTheTextAssert) {
  try {
    FL_ASSERT(1 + 1 == 3);
    FAIL() << "the assertion let the code through";
  } catch (const char* text) {
    EXPECT_STREQ(text, "assert");
  }
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_NE(Log()[0].find("expression string 1 + 1 == 3"), std::string::npos);
  FL_ASSERT(true);  // a holding assertion does nothing
  EXPECT_EQ(Log().size(), 1u);
}

TEST_F(GuardTest, OperationNamesAreLoggedAsTextNotAsFormats) {
  Catch([] { Guard("Op %s %d %n", [] { throw _EXS::Make("x"); }); });
  EXPECT_EQ(Log()[0], "Op %s %d %n");
}

TEST_F(GuardTest, WithoutARegistryTheExceptionStillLeaves) {
  IObjectRegistry* saved = g_pRegistry;
  g_pRegistry = nullptr;
  const _EXS e = Catch([] { Guard("Op", [] { RaiseExs("file", 1); }); });
  g_pRegistry = saved;
  EXPECT_STREQ(e.text, "URE");
  EXPECT_TRUE(Log().empty());
}

}  // namespace
