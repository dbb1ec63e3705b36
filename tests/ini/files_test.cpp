#include <cstring>

#include "ini/ini_fixture.h"
#include "win32/win32.h"

using ini_test::Held;
using ini_test::IniFixture;

namespace {

using Files = IniFixture;

TEST_F(Files, WriteThenReadBackWithSizes) {
  HANDLE w = service->OpenFile("maps\\walk.tga", kFileAccessWrite, 0, kFileCreateAlways);
  ASSERT_NE(w, INVALID_HANDLE_VALUE);
  const char data[] = "0123456789";
  uint32_t written = 0;
  EXPECT_TRUE(service->WriteFile(w, data, 10, &written));
  EXPECT_EQ(written, 10u);
  EXPECT_TRUE(service->WriteFile(w, data, 4, nullptr));
  uint32_t high = 77;
  EXPECT_EQ(service->GetFileSize(w, &high), 14u);
  EXPECT_EQ(high, 0u);
  char none[1];
  EXPECT_FALSE(service->ReadFile(w, none, 1, nullptr));  // opened for writing only
  service->CloseFile(w);
  EXPECT_EQ(Get("maps/walk.tga"), "01234567890123");

  HANDLE r = service->OpenFile("MAPS\\WALK.TGA", kFileAccessRead, kFileShareRead, kFileOpenExisting);
  ASSERT_NE(r, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  uint32_t got = 0;
  EXPECT_TRUE(service->ReadFile(r, buffer, 4, &got));
  EXPECT_EQ(got, 4u);
  EXPECT_TRUE(service->ReadFile(r, buffer + 4, 6, nullptr));
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_FALSE(service->WriteFile(r, data, 1, nullptr));  // opened for reading only
  service->CloseFile(r);
  EXPECT_EQ(service->OpenFiles(), 0u);

  // Create-always empties an existing file.
  HANDLE again = service->OpenFile("maps\\walk.tga", kFileAccessWrite, 0, kFileCreateAlways);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_EQ(service->GetFileSize(again, nullptr), 0u);
  service->CloseFile(again);
}

TEST_F(Files, AShortReadFailsAndReportsWhatItGot) {
  std::string binary;
  for (int i = 0; i < 10; ++i) binary += static_cast<char>(i * 25);
  Put("TerrainPatchIndexInfo.dat", binary);
  HANDLE h = service->OpenFile("terrainpatchindexinfo.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  unsigned char buffer[16] = {};
  uint32_t got = 99;
  EXPECT_FALSE(service->ReadFile(h, buffer, 16, &got));
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_EQ(buffer[9], 225);
  EXPECT_FALSE(service->ReadFile(h, buffer, 1, nullptr));  // at the end: nothing left
  EXPECT_TRUE(service->ReadFile(h, buffer, 0, nullptr));   // nothing asked, nothing missing
  service->CloseFile(h);
}

TEST_F(Files, FailuresGiveTheInvalidHandle) {
  EXPECT_EQ(service->OpenFile("missing.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  Put("dir/x", "");
  EXPECT_EQ(service->OpenFile("dir", kFileAccessRead, kFileShareRead, kFileOpenExisting), INVALID_HANDLE_VALUE);
  EXPECT_EQ(service->OpenFile("..\\escape.dat", kFileAccessWrite, 0, kFileCreateAlways), INVALID_HANDLE_VALUE);
  EXPECT_EQ(service->OpenFile("x.dat", 0, 0, kFileCreateAlways), INVALID_HANDLE_VALUE);
  EXPECT_EQ(service->OpenFile("x.dat", kFileAccessWrite, 0, 99), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Has("x.dat"));
  Put("exists.dat", "abc");
  EXPECT_EQ(service->OpenFile("exists.dat", kFileAccessWrite, 0, 1 /* create new */), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

  // Calls on a handle that is not open fail instead of touching some other descriptor.
  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4242));
  char b[4];
  uint32_t got = 5;
  EXPECT_FALSE(service->ReadFile(bogus, b, 4, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(service->WriteFile(INVALID_HANDLE_VALUE, b, 4, nullptr));
  EXPECT_EQ(service->GetFileSize(bogus, nullptr), 0xFFFFFFFFu);
  service->CloseFile(bogus);
}

TEST_F(Files, SharingIsHonoured) {
  Put("shared.dat", "abc");
  HANDLE r1 = service->OpenFile("shared.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting);
  HANDLE r2 = service->OpenFile("SHARED.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting);
  ASSERT_NE(r1, INVALID_HANDLE_VALUE);
  ASSERT_NE(r2, INVALID_HANDLE_VALUE);
  // A writer that shares nothing cannot join readers, and it must not empty the file trying.
  EXPECT_EQ(service->OpenFile("shared.dat", kFileAccessWrite, 0, kFileCreateAlways), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Get("shared.dat"), "abc");
  service->CloseFile(r1);
  service->CloseFile(r2);

  HANDLE w = service->OpenFile("shared.dat", kFileAccessWrite, 0, kFileCreateAlways);
  ASSERT_NE(w, INVALID_HANDLE_VALUE);
  // While it is open without sharing, nobody reads the half-written file.
  EXPECT_EQ(service->OpenFile("shared.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting), INVALID_HANDLE_VALUE);
  service->CloseFile(w);
  HANDLE r = service->OpenFile("shared.dat", kFileAccessRead, kFileShareRead, kFileOpenExisting);
  EXPECT_NE(r, INVALID_HANDLE_VALUE);
  service->CloseFile(r);
}

TEST_F(Files, OpeningForWritingDropsTheCachedIni) {
  Put("w.ini", "[s]\nk=1\n");
  { Held f(service->OpenIni("w.ini", 0)); }
  HANDLE h = service->OpenFile("w.ini", kFileAccessWrite, 0, kFileCreateAlways);
  const char text[] = "[s]\nk=2\n";
  service->WriteFile(h, text, static_cast<uint32_t>(std::strlen(text)), nullptr);
  service->CloseFile(h);
  Held f(service->OpenIni("w.ini", 0));
  EXPECT_EQ(Read(f.file, "s", "k"), "2");
}

TEST_F(Files, ServiceReachedThroughTheModuleGlobals) {
  // DMAInterface takes the service from the host; a service set before loading is the one used.
  testing_support::ModuleHost other;
  host::IniService svc(root, &other.host);
  other.host.SetIniService(&svc);
  other.host.LoadModule(&DMAInterface);
  EXPECT_EQ(g_pIniService, &svc);
  Put("g.ini", "[s]\nk=v\n");
  IIniFile* f = g_pIniService->OpenIni("g.ini", 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Read(f, "s", "k"), "v");
  ReleaseIniFile(f);
  EXPECT_EQ(other.host.Allocator().LiveBlocks(), 0u);
  m.host.LoadModule(&DMAInterface);  // give the globals back to the fixture's host
}

}  // namespace

namespace {

// The sample tree answers the paths the module asks for, spelled as the module spells them.
TEST(SampleTree, ReadsThroughTheModulesOwnPaths) {
  testing_support::ModuleHost m;
  host::IniService svc(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", &m.host);
  Held adjust(svc.OpenIni("Resource\\ini\\Brivanta\\Interface\\AdjustNameConfig.ini", 0));
  ASSERT_NE(adjust.file, nullptr);
  EXPECT_EQ(IniFixture::Sections(adjust.file), (std::vector<std::string>{"npc_guard", "npc_dancer"}));
  EXPECT_FLOAT_EQ(adjust->GetFloat("npc_guard", "AdjustH", 0), 0.25f);
  Held weather(svc.OpenIni("RESOURCE\\ini\\weather.ini", 0));
  ASSERT_NE(weather.file, nullptr);
  EXPECT_FALSE(weather->GetBool("0", "Sea", true));
  EXPECT_TRUE(weather->GetBool("2", "Sea", false));
  std::vector<std::string> lines;
  ASSERT_TRUE(svc.DescribeIni("resource\\ini\\weather.ini", &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"[0]", "Sea=0", "[1]", "Sea=1", "[2]", "Sea=yes"}));
}

}  // namespace
