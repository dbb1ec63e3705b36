#include <unistd.h>

#include <filesystem>

#include "ini/ini_fixture.h"
#include "support/full_device.h"

using ini_test::Held;
using ini_test::IniFixture;

namespace {

using IniWrite = IniFixture;

TEST_F(IniWrite, WriterSetsReplacesAppendsAndWritesOnRelease) {
  {
    Held w(service->CreateIni("light\\7.ini", 0));
    ASSERT_NE(w.file, nullptr);
    EXPECT_FALSE(Has("light/7.ini")) << "nothing is written before the writer is released";
    w->WriteString("lamp", "model", "bulb");
    w->WriteInt("lamp", "type", 3);
    w->WriteFloat("lamp", "rate", 1.5);
    w->WriteString("group", "type", "6");
    w->AddString("group", "key", "0,a;b,500,1");
    w->AddString("group", "key", "0,c,500,0");
    w->WriteString("LAMP", "Model", "tube");  // replaces, case ignored
    w->WriteInt("lamp", "lifetime", -20);
    w->WriteString(nullptr, "top", "level");
    w->WriteString("lamp", "note", "two\r\nlines");
    // The writer reads what it holds.
    EXPECT_EQ(Read(w.file, "lamp", "model"), "tube");
    EXPECT_EQ(AllValues(w.file, "group", "key"), (std::vector<std::string>{"0,a;b,500,1", "0,c,500,0"}));
  }
  EXPECT_EQ(Get("light/7.ini"),
            "top=level\r\n"
            "\r\n"
            "[lamp]\r\n"
            "model=tube\r\n"
            "type=3\r\n"
            "rate=1.500000\r\n"
            "lifetime=-20\r\n"
            "note=two  lines\r\n"
            "\r\n"
            "[group]\r\n"
            "type=6\r\n"
            "key=0,a;b,500,1\r\n"
            "key=0,c,500,0\r\n");

  Held r(service->OpenIni("LIGHT\\7.INI", 0));
  ASSERT_NE(r.file, nullptr);
  EXPECT_EQ(Sections(r.file), (std::vector<std::string>{"lamp", "group"}));
  EXPECT_EQ(r->GetInt("lamp", "Type", 0), 3);
  EXPECT_FLOAT_EQ(r->GetFloat("lamp", "Rate", 0), 1.5f);
  EXPECT_EQ(AllValues(r.file, "group", "key"), (std::vector<std::string>{"0,a;b,500,1", "0,c,500,0"}));
  EXPECT_EQ(Read(r.file, nullptr, "top"), "level");
}

TEST_F(IniWrite, RewritingAFileTheServiceHasReadGivesTheNewText) {
  Put("h.ini", "[g]\npoint=old\n");
  {
    Held r(service->OpenIni("h.ini", 0));
    EXPECT_EQ(Read(r.file, "g", "point"), "old");
  }
  {
    Held w(service->CreateIni("h.ini", 0));
    w->AddString("g", "point", "new");
  }
  Held r(service->OpenIni("h.ini", 0));  // no Flush needed: the service wrote it
  EXPECT_EQ(Read(r.file, "g", "point"), "new");
}

TEST_F(IniWrite, FloatsAreWrittenWithSixDecimals) {
  {
    Held w(service->CreateIni("f.ini", 0));
    w->WriteFloat("s", "a", 0.1);
    w->WriteFloat("s", "b", -1234.5678915);
    w->WriteFloat("s", "c", 0.0);
  }
  EXPECT_EQ(Get("f.ini"), "[s]\r\na=0.100000\r\nb=-1234.567892\r\nc=0.000000\r\n");
}

TEST_F(IniWrite, WriterCreatesMissingFolders) {
  { Held w(service->CreateIni("Resource\\ini\\new\\deep\\x.ini", 0)); }
  EXPECT_TRUE(Has("Resource/ini/new/deep/x.ini"));
  EXPECT_EQ(Get("Resource/ini/new/deep/x.ini"), "");
}

TEST_F(IniWrite, AFailedWriteIsLoggedAndLeavesTheOldFileWhole) {
  Put("keep/old.ini", "[s]\nk=1\n");
  Put("gone/placeholder", "");
  IIniFile* w = service->CreateIni("gone\\new.ini", 0);
  ASSERT_NE(w, nullptr);
  w->WriteString("s", "k", "2");
  std::filesystem::remove_all(std::filesystem::path(root) / "gone");  // the folder vanishes
  ReleaseIniFile(w);  // must not throw
  ASSERT_FALSE(m.host.LogLines().empty());
  EXPECT_NE(m.host.LogLines().back().find("cannot write gone\\new.ini"), std::string::npos);

  // An existing file keeps its old text until the writer is released.
  Held again(service->CreateIni("keep\\old.ini", 0));
  again->WriteString("s", "k", "2");
  EXPECT_EQ(Get("keep/old.ini"), "[s]\nk=1\n");
}

TEST_F(IniWrite, CreateIniRefusesPathsItCannotWrite) {
  Put("file", "x");
  EXPECT_EQ(service->CreateIni("file\\below.ini", 0), nullptr);  // a file where a folder must be
  Put("folder/x", "");
  EXPECT_EQ(service->CreateIni("folder", 0), nullptr);  // a folder where the file must be
  EXPECT_EQ(service->CreateIni("..\\outside.ini", 0), nullptr);
  EXPECT_EQ(service->CreateIni(nullptr, 0), nullptr);
}

TEST_F(IniWrite, NamesThatWouldNotReadBackAreRefusedAndTheRestKept) {
  {
    Held w(service->CreateIni("n.ini", 0));
    w->WriteString("good", "k", "1");
    const size_t logged = m.host.LogLines().size();
    w->WriteString(" padded", "k", "x");
    w->WriteString("a]b", "k", "x");
    w->WriteString("two\nlines", "k", "x");
    w->WriteString("good", "", "x");
    w->WriteString("good", nullptr, "x");
    w->WriteInt("good", "a=b", 1);
    w->WriteFloat("good", "k ", 1.0);
    w->AddString("good", "line\rbreak", "x");
    w->AddString("good", ";comment", "x");
    w->AddString("good", "[section", "x");
    w->WriteString("", "\xEF\xBB\xBFkey", "x");  // would be read back as a mark and "key"
    EXPECT_EQ(m.host.LogLines().size(), logged + 11);
    EXPECT_NE(m.host.LogLines().back().find("refused"), std::string::npos);
    w->WriteString("good", "name with inner blanks", "kept");
    w->WriteString("", "top", "unnamed part");
  }
  EXPECT_EQ(Get("n.ini"), "top=unnamed part\r\n\r\n[good]\r\nk=1\r\nname with inner blanks=kept\r\n");
}

TEST_F(IniWrite, CommitReportsWhetherTheFileWasWritten) {
  IIniFile* w = service->CreateIni("c.ini", 0);
  w->WriteString("s", "k", "1");
  EXPECT_TRUE(w->Commit());
  EXPECT_EQ(Get("c.ini"), "[s]\r\nk=1\r\n");
  Put("c.ini", "changed behind the writer's back");
  ReleaseIniFile(w);  // nothing changed since the commit: nothing written again
  EXPECT_EQ(Get("c.ini"), "changed behind the writer's back");

  Put("r.ini", "[s]\nk=1\n");
  Held r(service->OpenIni("r.ini", 0));
  EXPECT_FALSE(r->Commit());  // a reader has nothing to commit

  Put("gone/placeholder", "");
  Held lost(service->CreateIni("gone\\x.ini", 0));
  lost->WriteString("s", "k", "1");
  std::filesystem::remove_all(std::filesystem::path(root) / "gone");
  EXPECT_FALSE(lost->Commit());
}

TEST_F(IniWrite, AFullTargetIsAFailedCommitAndLeavesNoTemporaryFile) {
  Put("full/old.ini", "[s]\nk=old\n");
  IIniFile* w = service->CreateIni("full\\old.ini", 0);
  ASSERT_NE(w, nullptr);
  w->WriteString("s", "k", std::string(4096, 'v').c_str());
  const bool committed = testing_support::WithFullDevice(1024, [&] { return w->Commit(); });
  ReleaseIniFile(w);
  EXPECT_FALSE(committed);
  EXPECT_EQ(Get("full/old.ini"), "[s]\nk=old\n");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(std::filesystem::path(root) / "full"))
    ++entries;
  EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
  ASSERT_FALSE(m.host.LogLines().empty());
  EXPECT_NE(m.host.LogLines().back().find("cannot write full\\old.ini"), std::string::npos);
}

}  // namespace
