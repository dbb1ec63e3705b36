#include <cctype>
#include <cstring>
#include <map>

#include "ini/ini_fixture.h"

using ini_test::Held;
using ini_test::IniFixture;

namespace {

using IniRead = IniFixture;

std::string FoldName(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST_F(IniRead, StructureOfARealFile) {
  Put("scene/1.ini",
      "\xEF\xBB\xBFglobalKey = top\r\n"
      "; a comment line = ignored\r\n"
      "   ;indented comment\n"
      "[Models]\r\n"
      "  Count =  3  \r\n"
      "Effect=fire;smoke,spark\r\n"
      "link = a=b=c\n"
      "#hash=kept\n"
      "no equals sign here\n"
      "=no key\n"
      "[ Lights ]\n"
      "action=one\n"
      "[models]\n"
      "Extra=from the second part\n"
      "Count=99\n"
      "[]\n"
      "globalKey=from an empty name\n"
      "lateKey=1\n"
      "[Open bracket\n"
      "k=v");
  Held f(service->OpenIni("scene\\1.ini", 0));
  ASSERT_NE(f.file, nullptr);

  // Keys before the first section: null or empty section, and not listed as a section.
  EXPECT_EQ(Read(f.file, nullptr, "globalKey"), "top");
  EXPECT_EQ(Read(f.file, "", "GLOBALKEY"), "top");
  EXPECT_EQ(Read(f.file, "Models", "globalKey"), "<missing>");
  // A "[]" further down is listed, but a read with no name reaches only the keys above the first
  // section, also while the walk stands on it.
  EXPECT_EQ(Read(f.file, nullptr, "lateKey"), "<missing>");

  EXPECT_EQ(Sections(f.file), (std::vector<std::string>{"Models", "Lights", "models", "", "Open bracket"}));
  char name[260];
  ASSERT_TRUE(f->GetFirstSection(name, sizeof name));
  while (name[0] != '\0') ASSERT_TRUE(f->GetNextSection(name, sizeof name));
  EXPECT_EQ(Read(f.file, "", "globalKey"), "top");
  EXPECT_EQ(Read(f.file, "", "lateKey"), "<missing>");

  // Blanks trimmed, case ignored, ';' and ',' kept in values, the first '=' splits.
  EXPECT_EQ(Read(f.file, "MODELS", "count"), "99");  // the later [models] overrides
  EXPECT_EQ(Read(f.file, "Models", "Effect"), "fire;smoke,spark");
  EXPECT_EQ(Read(f.file, "Models", "link"), "a=b=c");
  EXPECT_EQ(Read(f.file, "Models", "#hash"), "kept");
  EXPECT_EQ(Read(f.file, "lights", "action"), "one");
  EXPECT_EQ(Read(f.file, "Open bracket", "k"), "v");
  EXPECT_EQ(Read(f.file, "Models", "a comment line"), "<missing>");
  EXPECT_EQ(Read(f.file, "Models", ""), "<missing>");

  // Outside a walk a later section of one name overrides an earlier one, key by key.
  EXPECT_EQ(Read(f.file, "Models", "Extra"), "from the second part");
  EXPECT_EQ(Read(f.file, "Models", "Effect"), "fire;smoke,spark");
  EXPECT_EQ(AllValues(f.file, "Models", "Count"), (std::vector<std::string>{"99"}));
}

TEST_F(IniRead, AWalkReadsTheSectionItStandsOnAndOtherwiseTheLaterOne) {
  // The walk a scene makes over its name adjustments: one value per section, stored by name.
  Put("adjust.ini",
      "[guard]\nAdjustH=0.25\nk=a1\nk=a2\n"
      "[dancer]\nAdjustH=1.5\n"
      "[GUARD]\nAdjustH=0.75\nk=b1\nonly=here\n");
  Held f(service->OpenIni("adjust.ini", 0));
  ASSERT_NE(f.file, nullptr);
  std::map<std::string, float> stored;
  std::vector<float> seen;
  char name[260];
  for (bool ok = f->GetFirstSection(name, sizeof(name)); ok; ok = f->GetNextSection(name, sizeof(name))) {
    seen.push_back(f->GetFloat(name, "AdjustH", 0));
    stored[FoldName(name)] = seen.back();
  }
  EXPECT_EQ(seen, (std::vector<float>{0.25f, 1.5f, 0.75f}));
  EXPECT_FLOAT_EQ(stored["guard"], 0.75f);  // the later section's value is the one kept

  // Standing on the first [guard]: its own repeated key, with its own cursor.
  ASSERT_TRUE(f->GetFirstSection(name, sizeof(name)));
  EXPECT_EQ(AllValues(f.file, "guard", "k"), (std::vector<std::string>{"a1", "a2"}));
  // A key only the other [GUARD] holds is missing here, for every kind of read.
  EXPECT_EQ(Read(f.file, "guard", "only"), "<missing>");
  char b[8];
  EXPECT_FALSE(f->GetNextString("guard", "only", b, sizeof(b)));
  EXPECT_EQ(f->GetInt("guard", "only", -3), -3);
  EXPECT_EQ(Read(f.file, "dancer", "only"), "<missing>");
  // Standing on [dancer]: a read of another name takes its later section.
  ASSERT_TRUE(f->GetNextSection(name, sizeof(name)));
  EXPECT_EQ(AllValues(f.file, "guard", "k"), (std::vector<std::string>{"b1"}));
  EXPECT_EQ(Read(f.file, "Guard", "AdjustH"), "0.75");
  // Past the end the walk stands nowhere: the later section again.
  ASSERT_TRUE(f->GetNextSection(name, sizeof(name)));
  EXPECT_FALSE(f->GetNextSection(name, sizeof(name)));
  EXPECT_EQ(Read(f.file, "guard", "AdjustH"), "0.75");
  // Another object of the same file walks on its own.
  Held g(service->OpenIni("adjust.ini", 0));
  ASSERT_TRUE(g->GetFirstSection(name, sizeof(name)));
  EXPECT_EQ(Read(g.file, "guard", "AdjustH"), "0.25");
  EXPECT_EQ(Read(f.file, "guard", "AdjustH"), "0.75");
}

TEST_F(IniRead, LinesEndAtCrLfOrBoth) {
  Put("cr.ini", "[a]\rk=1\r[b]\rk=2\rlast=x");
  Put("mixed.ini", "[a]\r\nk=1\n\r[b]\rk=2\r\n\r\nj=3\n");
  for (const char* file : {"cr.ini", "mixed.ini"}) {
    Held f(service->OpenIni(file, 0));
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(Sections(f.file), (std::vector<std::string>{"a", "b"})) << file;
    EXPECT_EQ(Read(f.file, "a", "k"), "1") << file;
    EXPECT_EQ(Read(f.file, "b", "k"), "2") << file;
  }
  Held cr(service->OpenIni("cr.ini", 0));
  EXPECT_EQ(Read(cr.file, "b", "last"), "x");
  Held mixed(service->OpenIni("mixed.ini", 0));
  EXPECT_EQ(Read(mixed.file, "b", "j"), "3");
}

TEST_F(IniRead, FortyThousandRepeatedKeysWalkInOrder) {
  std::string text = "[big]\n";
  for (int i = 0; i < 40000; ++i) text += "key=" + std::to_string(i) + "\nother=x\n";
  Put("big.ini", text);
  Held f(service->OpenIni("big.ini", 0));
  char b[32];
  ASSERT_TRUE(f->GetString("big", "KEY", b, sizeof(b), ""));
  int expected = 0;
  bool inOrder = std::string(b) == "0";
  while (f->GetNextString("big", "key", b, sizeof(b))) inOrder = inOrder && std::string(b) == std::to_string(++expected);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(expected, 39999);
}

TEST_F(IniRead, RepeatedKeysInFileOrderWithACursorPerKey) {
  Put("action.ini",
      "[path]\n"
      "action=walk,100\n"
      "step=a\n"
      "ACTION=run;200\n"
      "step=b\n"
      "action=stop\n");
  Held f(service->OpenIni("action.ini", 0));
  ASSERT_NE(f.file, nullptr);
  char a[256], s[256];
  ASSERT_TRUE(f->GetString("path", "action", a, sizeof(a), ""));
  EXPECT_STREQ(a, "walk,100");
  ASSERT_TRUE(f->GetString("path", "step", s, sizeof(s), ""));
  EXPECT_STREQ(s, "a");
  // Reading "step" in between does not move the cursor of "action".
  ASSERT_TRUE(f->GetNextString("Path", "Action", a, sizeof(a)));
  EXPECT_STREQ(a, "run;200");
  ASSERT_TRUE(f->GetNextString("path", "step", s, sizeof(s)));
  EXPECT_STREQ(s, "b");
  ASSERT_TRUE(f->GetNextString("path", "action", a, sizeof(a)));
  EXPECT_STREQ(a, "stop");
  EXPECT_FALSE(f->GetNextString("path", "action", a, sizeof(a)));
  EXPECT_STREQ(a, "");
  EXPECT_FALSE(f->GetNextString("path", "action", a, sizeof(a)));  // stays at the end

  // GetString starts over.
  EXPECT_EQ(AllValues(f.file, "path", "action"), (std::vector<std::string>{"walk,100", "run;200", "stop"}));
  // A key that is not there: GetString gives the default and GetNextString nothing.
  EXPECT_FALSE(f->GetString("path", "none", a, sizeof(a), "dflt"));
  EXPECT_STREQ(a, "dflt");
  EXPECT_FALSE(f->GetNextString("path", "none", a, sizeof(a)));
}

TEST_F(IniRead, GetNextStringWithoutGetStringStartsAfterTheFirstValue) {
  Put("a.ini", "[s]\nk=1\nk=2\nk=3\n");
  Held f(service->OpenIni("a.ini", 0));
  char b[16];
  ASSERT_TRUE(f->GetNextString("s", "k", b, sizeof(b)));
  EXPECT_STREQ(b, "2");
}

TEST_F(IniRead, CopiesAreBoundedAndTerminated) {
  const std::string longValue(300, 'v');
  const std::string longName(300, 'S');
  Put("long.ini", "[" + longName + "]\nkey=" + longValue + "\n[short]\nk=abcdef\n");
  Held f(service->OpenIni("long.ini", 0));
  ASSERT_NE(f.file, nullptr);

  char buffer[256 + 8];
  std::memset(buffer, '#', sizeof(buffer));
  ASSERT_TRUE(f->GetString(longName.c_str(), "key", buffer, 256, ""));
  EXPECT_EQ(std::strlen(buffer), 255u);
  EXPECT_EQ(buffer[256], '#');  // nothing written past the size given

  char name[260 + 8];
  std::memset(name, '#', sizeof(name));
  ASSERT_TRUE(f->GetFirstSection(name, 260));
  EXPECT_EQ(std::string(name), longName.substr(0, 259));
  EXPECT_EQ(name[260], '#');

  // The default obeys the same bound, and the caller's own buffer may be the default.
  char small[4];
  EXPECT_FALSE(f->GetString("short", "missing", small, sizeof(small), "defaultText"));
  EXPECT_STREQ(small, "def");
  char same[16] = "mine";
  EXPECT_FALSE(f->GetString("short", "missing", same, sizeof(same), same));
  EXPECT_STREQ(same, "mine");

  char one[1] = {'x'};
  EXPECT_TRUE(f->GetString("short", "k", one, 1, ""));
  EXPECT_EQ(one[0], '\0');
  char untouched[2] = {'x', 'y'};
  EXPECT_TRUE(f->GetString("short", "k", untouched, 0, ""));  // size 0: found, nothing written
  EXPECT_EQ(untouched[0], 'x');
  EXPECT_FALSE(f->GetString("short", "missing", nullptr, 10, nullptr));
}

TEST_F(IniRead, NumbersAndSwitchesWithTheirDefaults) {
  Put("n.ini",
      "[n]\n"
      "plain=42\nneg=-17\nplus=+8\ntrail=12abc\nreal=7.9\nbig=99999999999\nsmall=-99999999999\n"
      "word=abc\nempty=\n"
      "f1=1.5\nf2=-2e3\nf3=.25\nf4=3.5f\nf5=x1\nf6=1e60\n"
      "b1=TRUE\nb2=yes\nb3=On\nb4=false\nb5=NO\nb6=off\nb7=1\nb8=0\nb9=2\nb10=maybe\n");
  Held f(service->OpenIni("n.ini", 0));
  ASSERT_NE(f.file, nullptr);
  EXPECT_EQ(f->GetInt("n", "plain", -1), 42);
  EXPECT_EQ(f->GetInt("n", "neg", 0), -17);
  EXPECT_EQ(f->GetInt("n", "plus", 0), 8);
  EXPECT_EQ(f->GetInt("n", "trail", 0), 12);
  EXPECT_EQ(f->GetInt("n", "real", 0), 7);
  EXPECT_EQ(f->GetInt("n", "big", 0), INT_MAX);
  EXPECT_EQ(f->GetInt("n", "small", 0), INT_MIN);
  EXPECT_EQ(f->GetInt("n", "word", -5), -5);
  EXPECT_EQ(f->GetInt("n", "empty", -6), -6);
  EXPECT_EQ(f->GetInt("n", "absent", -7), -7);

  EXPECT_FLOAT_EQ(f->GetFloat("n", "f1", 0), 1.5f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "f2", 0), -2000.0f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "f3", 0), 0.25f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "f4", 0), 3.5f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "f5", 9.5f), 9.5f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "f6", 9.5f), 9.5f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "plain", 0), 42.0f);
  EXPECT_FLOAT_EQ(f->GetFloat("n", "absent", 1.0f), 1.0f);

  for (const char* key : {"b1", "b2", "b3", "b7", "b9"}) EXPECT_TRUE(f->GetBool("n", key, false)) << key;
  for (const char* key : {"b4", "b5", "b6", "b8"}) EXPECT_FALSE(f->GetBool("n", key, true)) << key;
  EXPECT_TRUE(f->GetBool("n", "b10", true));
  EXPECT_FALSE(f->GetBool("n", "b10", false));
  EXPECT_TRUE(f->GetBool("n", "absent", true));
}

TEST_F(IniRead, ObjectsAreCountedHostBlocksOfOne) {
  Put("x.ini", "[a]\nk=1\n");
  const size_t before = m.host.Allocator().LiveBlocks();
  IIniFile* f = service->OpenIni("x.ini", 0);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(m.host.Allocator().IsLive(f));
  EXPECT_EQ(HostBlockCount(f), 1u);
  ReleaseIniFile(f);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), before);
  EXPECT_TRUE(m.host.Allocator().Errors().empty());

  // A block that claims two objects is refused whole: the second could not be found.
  IIniFile* g = service->OpenIni("x.ini", 0);
  ASSERT_NE(g, nullptr);
  HostBlockCount(g) = 2;
  ReleaseIniFile(g);
  EXPECT_TRUE(m.host.Allocator().IsLive(g));
  ASSERT_FALSE(m.host.LogLines().empty());
  EXPECT_NE(m.host.LogLines().back().find("a block of 2 INI objects is not released"), std::string::npos);
  EXPECT_EQ(Read(g, "a", "k"), "1");  // untouched
  HostBlockCount(g) = 1;
  ReleaseIniFile(g);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), before);
}

TEST_F(IniRead, MissingFilesAndFoldersGiveNull) {
  EXPECT_EQ(service->OpenIni("nothing.ini", 0), nullptr);
  EXPECT_EQ(service->OpenIni(nullptr, 0), nullptr);
  Put("dir/inner.ini", "");
  EXPECT_EQ(service->OpenIni("dir", 0), nullptr);
  Held empty(service->OpenIni("dir/inner.ini", 0));  // an empty file is an empty INI
  ASSERT_NE(empty.file, nullptr);
  char b[8];
  EXPECT_FALSE(empty->GetFirstSection(b, sizeof(b)));
  EXPECT_STREQ(b, "");

  host::IniService unhosted(root);  // no host: no allocator for the objects
  EXPECT_EQ(unhosted.OpenIni("dir/inner.ini", 0), nullptr);
}

TEST_F(IniRead, FlushDropsTheCacheSoARewrittenFileReadsFresh) {
  Put("c.ini", "[s]\nk=old\n");
  {
    Held f(service->OpenIni("c.ini", 0));
    EXPECT_EQ(Read(f.file, "s", "k"), "old");
  }
  Put("c.ini", "[s]\nk=new\n");
  {
    Held f(service->OpenIni("c.ini", 0));
    EXPECT_EQ(Read(f.file, "s", "k"), "old");  // kept until Flush
  }
  service->Flush();
  Held f(service->OpenIni("c.ini", 0));
  EXPECT_EQ(Read(f.file, "s", "k"), "new");
}

TEST_F(IniRead, ReadOnlyObjectsRefuseWrites) {
  Put("r.ini", "[s]\nk=1\n");
  Held f(service->OpenIni("r.ini", 0));
  f->WriteString("s", "k", "2");
  f->AddString("s", "k", "3");
  EXPECT_EQ(AllValues(f.file, "s", "k"), std::vector<std::string>{"1"});
  ASSERT_FALSE(m.host.LogLines().empty());
  EXPECT_NE(m.host.LogLines().back().find("r.ini"), std::string::npos);
  EXPECT_EQ(Get("r.ini"), "[s]\nk=1\n");
}

}  // namespace
