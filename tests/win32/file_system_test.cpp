// Windows-style paths resolved under a root, and every reader of the platform and the host
// resolving them the same way under the process's resource root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include "apps/footlight/cli.h"
#include "d3dx8/d3dx8tex.h"
#include "dshow/errors.h"
#include "dshow/filter_graph.h"
#include "host/animation_file.h"
#include "host/build_input_writer.h"
#include "host/d3d_device.h"
#include "host/ini_service.h"
#include "host/mesh_object.h"
#include "host/obj_files.h"
#include "host/renderer.h"
#include "host/standard_host.h"
#include "playback/recording_scene_system.h"
#include "support/wait.h"
#include "visibility/abt_build_input.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace {

namespace fs = std::filesystem;
using win32::PathMode;
using win32::ResolvePath;

// A fresh directory tree that ResolvePath is pointed at. The tree sits one level below a
// scratch folder, so that a path escaping the root would land somewhere the test can see.
class FileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/footlight-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = pattern;
    root = scratch + "/tree";
    fs::create_directories(root);
  }
  void TearDown() override {
    win32::SetResourceRoot("");
    fs::remove_all(scratch);
  }
  void Put(const std::string& relative, const std::string& text = "x") {
    const fs::path p = fs::path(root) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  // The path, or "#<last error>" when it did not resolve.
  std::string Resolve(const char* path, PathMode mode = PathMode::Read, const std::string& under = "") {
    SetLastError(0);
    const std::string r = ResolvePath(under.empty() ? root : under, path, mode);
    return r.empty() ? "#" + std::to_string(GetLastError()) : r;
  }
  static std::string Error(DWORD code) { return "#" + std::to_string(code); }

  std::string scratch;
  std::string root;
};

TEST_F(FileSystem, ComponentsMatchWithoutRegardToCaseAndEitherSeparator) {
  Put("resource/ini/Scene/1.ini");
  const std::string file = root + "/resource/ini/Scene/1.ini";
  EXPECT_EQ(Resolve("RESOURCE\\INI\\scene\\1.INI"), file);
  EXPECT_EQ(Resolve("resource/ini\\Scene//./1.ini"), file);
  EXPECT_EQ(Resolve("\\resource\\ini\\scene\\1.ini", PathMode::Read, root + "/"), file);  // leading '\' is the root
  EXPECT_EQ(Resolve("/Resource/Ini/SCENE/1.ini"), file);
  EXPECT_EQ(Resolve("resource\\ini\\scene\\2.ini"), Error(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Resolve("resource\\none\\scene\\1.ini"), Error(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Resolve("resource\\ini\\Scene\\1.ini\\more"), Error(ERROR_PATH_NOT_FOUND));  // a file is no folder
  EXPECT_EQ(Resolve(""), Error(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Resolve(nullptr), Error(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileSystem, AnExactMatchWinsThenTheFirstInByteOrder) {
  Put("tex/Stone.dds");
  Put("tex/stone.dds");
  Put("tex/STONE.dds");
  EXPECT_EQ(Resolve("tex\\stone.dds"), root + "/tex/stone.dds");
  EXPECT_EQ(Resolve("tex\\Stone.dds"), root + "/tex/Stone.dds");
  EXPECT_EQ(Resolve("tex\\sTone.DDS"), root + "/tex/STONE.dds");
}

TEST_F(FileSystem, EscapesAreRefusedForReadingAndWriting) {
  Put("a/b.ini");
  std::ofstream(scratch + "/outside.ini") << "secret";
  EXPECT_EQ(Resolve("a\\..\\a\\b.ini"), root + "/a/b.ini");
  for (PathMode mode : {PathMode::Read, PathMode::Write}) {
    for (const char* escape : {"..\\outside.ini", "a\\..\\..\\outside.ini", "../tree/a/b.ini", "C:\\a\\b.ini",
                               "c:b.ini", "\\\\server\\a\\b.ini", "//server/share/b.ini"})
      EXPECT_EQ(Resolve(escape, mode), Error(ERROR_ACCESS_DENIED)) << escape;
  }
  // Refused before any folder is made.
  EXPECT_EQ(Resolve("..\\made\\x.ini", PathMode::Write), Error(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(fs::exists(scratch + "/made"));
}

TEST_F(FileSystem, LinksAreFollowedOnlyWhileTheyStayInsideTheRoot) {
  Put("a/b.ini");
  std::ofstream(scratch + "/outside.ini") << "secret";
  fs::create_directories(scratch + "/away");
  fs::create_directory_symlink("a", root + "/inside");
  fs::create_symlink(root + "/a/b.ini", root + "/whole.ini");  // a full path, but into the tree
  fs::create_directory_symlink("..", root + "/up");
  fs::create_directory_symlink(scratch + "/away", root + "/away");
  fs::create_symlink("../outside.ini", root + "/out.ini");
  fs::create_symlink("missing.ini", root + "/dangling.ini");
  EXPECT_EQ(Resolve("INSIDE\\b.ini"), root + "/inside/b.ini");
  EXPECT_EQ(Resolve("whole.ini", PathMode::Write), root + "/whole.ini");
  for (PathMode mode : {PathMode::Read, PathMode::Write})
    for (const char* escape : {"up\\outside.ini", "up\\tree\\a\\b.ini", "out.ini", "away\\x.ini", "dangling.ini"})
      EXPECT_EQ(Resolve(escape, mode), Error(ERROR_ACCESS_DENIED)) << escape;
  // Refused before any folder is made beyond the link.
  EXPECT_EQ(Resolve("away\\made\\x.ini", PathMode::Write), Error(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(fs::exists(scratch + "/away/made"));
}

TEST_F(FileSystem, OnlyRegularFilesOfAtMostTheLimitAreReadAndNothingWaits) {
  Put("ten.bin", "0123456789");
  ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);
  std::vector<uint8_t> bytes;
  std::string reason;
  using win32::FileRead;
  EXPECT_EQ(win32::ReadRegularFile(root + "/ten.bin", 10, &bytes), FileRead::Read);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
  EXPECT_EQ(win32::ReadRegularFile(root + "/ten.bin", 9, &bytes, &reason), FileRead::TooLarge);
  EXPECT_EQ(reason, "holds 10 bytes, more than the 9 it may");
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(win32::ReadRegularFile(root, 1 << 20, &bytes, &reason), FileRead::NotAFile);
  EXPECT_EQ(reason, "is a folder");
  for (const std::string& special : {root + "/pipe", std::string("/dev/zero")}) {
    EXPECT_EQ(win32::ReadRegularFile(special, 1 << 20, &bytes, &reason), FileRead::NotAFile) << special;
    EXPECT_EQ(reason, "is not a regular file");
  }
  EXPECT_EQ(win32::ReadRegularFile(root + "/none", 1 << 20, &bytes), FileRead::NotOpened);

  // The texture loader and the renderer read through it.
  win32::SetResourceRoot(root);
  host::Renderer renderer;
  IDirect3DTexture8* loaded = nullptr;
  for (const char* name : {"pipe", "inside"}) {
    fs::create_directories(root + "/inside");
    EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), name, &loaded), D3DXERR_INVALIDDATA) << name;
    EXPECT_EQ(renderer.LoadTexture(name, 0), -1);
  }
  ASSERT_EQ(renderer.Log().size(), 2u);
  EXPECT_NE(renderer.Log()[1].find("is a folder"), std::string::npos) << renderer.Log()[1];
}

TEST_F(FileSystem, WritingMakesFoldersAndKeepsTheCaseOfExistingOnes) {
  Put("Resource/models/old.col");
  EXPECT_EQ(Resolve("resource\\MODELS\\new\\sub\\f.col"), Error(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(fs::exists(root + "/Resource/models/new"));  // reading makes nothing
  EXPECT_EQ(Resolve("resource\\MODELS\\new\\sub\\f.col", PathMode::Write), root + "/Resource/models/new/sub/f.col");
  EXPECT_TRUE(fs::is_directory(root + "/Resource/models/new/sub"));
  EXPECT_FALSE(fs::exists(root + "/Resource/models/new/sub/f.col"));  // only the folders are made
  EXPECT_EQ(Resolve("resource\\models\\old.col\\f", PathMode::Write), Error(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileSystem, TheResourceRootIsTheCurrentDirectoryUntilSet) {
  EXPECT_EQ(win32::GetResourceRoot(), ".");
  win32::SetResourceRoot(root);
  EXPECT_EQ(win32::GetResourceRoot(), root);
  win32::SetResourceRoot("");
  EXPECT_EQ(win32::GetResourceRoot(), ".");
}

// The INI and file service, the renderer's LoadTexture and the D3DX functions find the same
// file by the same module path, and refuse the same escapes.
TEST_F(FileSystem, EveryReaderResolvesUnderTheResourceRoot) {
  win32::SetResourceRoot(root);
  host::Renderer renderer;
  IDirect3DTexture8* made = nullptr;
  ASSERT_EQ(renderer.device().CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &made), D3D_OK);
  IDirect3DSurface8* surface = nullptr;
  made->GetSurfaceLevel(0, &surface);
  fs::create_directories(root + "/Resource/Models");
  ASSERT_EQ(D3DXSaveSurfaceToFileA("resource\\MODELS\\Tex.tga", D3DXIFF_TGA, surface, nullptr, nullptr), D3D_OK);
  EXPECT_TRUE(fs::exists(root + "/Resource/Models/Tex.tga"));

  const char* spelling = "\\RESOURCE/models\\tex.TGA";
  host::IniService service(root);
  HANDLE file = service.OpenFile(spelling, kFileAccessRead, kFileShareRead, kFileOpenExisting);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  if (file != INVALID_HANDLE_VALUE) service.CloseFile(file);
  EXPECT_GE(renderer.LoadTexture(spelling, 0), 0);
  IDirect3DTexture8* loaded = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), spelling, &loaded), D3D_OK);
  if (loaded != nullptr) loaded->Release();

  // A copy of the file just outside the tree is out of reach of all of them.
  fs::copy_file(root + "/Resource/Models/Tex.tga", scratch + "/out.tga");
  const char* escape = "resource\\..\\..\\out.tga";
  EXPECT_EQ(service.OpenFile(escape, kFileAccessRead, kFileShareRead, kFileOpenExisting), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(renderer.LoadTexture(escape, 0), -1);
  EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), escape, &loaded), D3DXERR_INVALIDDATA);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("..\\..\\written.bmp", D3DXIFF_BMP, surface, nullptr, nullptr), D3DXERR_INVALIDDATA);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("C:\\written.bmp", D3DXIFF_BMP, surface, nullptr, nullptr), D3DXERR_INVALIDDATA);
  EXPECT_FALSE(fs::exists(scratch + "/written.bmp"));
  EXPECT_FALSE(fs::exists("/tmp/written.bmp"));
  // A missing file is still a missing file, not bad data.
  EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), "resource\\none.tga", &loaded), D3DXERR_FILENOTFOUND);

  // The working directory plays no part: a root elsewhere does not see the tree.
  win32::SetResourceRoot(scratch);
  EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), "resource\\models\\tex.tga", &loaded), D3DXERR_FILENOTFOUND);
  EXPECT_EQ(D3DXCreateTextureFromFileA(&renderer.device(), "OUT.tga", &loaded), D3D_OK);
  if (loaded != nullptr) loaded->Release();
  surface->Release();
  made->Release();
}

// What `call` gives, or a failure when it still waits at the suite's deadline: `pipe` is then
// opened from this side, so that a reader stuck opening it can end.
std::string Promptly(const std::string& pipe, const std::function<std::string()>& call) {
  std::future<std::string> outcome = std::async(std::launch::async, call);
  const auto ended = [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
  if (::testing::AssertionResult waited = testing_support::WaitUntil("the reader ended", ended); !waited) {
    ADD_FAILURE() << waited.message();
    const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
  }
  return outcome.get();
}

// Every reader of a whole file takes only a regular file, never waits on a pipe, and refuses one
// above its format's largest before it reads a byte; the size is checked whole, not its low
// 32 bits. Each says so in its own way: a line, a log line, an error code.
TEST_F(FileSystem, EveryReaderRefusesAPipeAFolderAndAnOversizeFileAtOnce) {
  ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);
  fs::create_directories(root + "/folder");
  Put("huge", "");
  fs::resize_file(root + "/huge", (4ull << 30) + 1);  // sparse: nothing is written
  const auto above = [](uint64_t limit) {
    return "holds 4294967297 bytes, more than the " + std::to_string(limit) + " it may";
  };
  host::StandardHost standard(root);
  standard.host.LoadModule(&DMAInterface);
  const auto lastLog = [&] { return standard.host.LogLines().empty() ? "" : standard.host.LogLines().back(); };
  Playback::SceneSystem movies;

  struct Reader {
    const char* name;
    std::function<std::string(const std::string&)> outcome;  // "" when it took the file
    std::string pipe, folder, huge;
  };
  const Reader readers[] = {
      {"INI service",
       [&](const std::string& name) {
         std::vector<std::string> lines;
         return standard.ini.DescribeIni(name.c_str(), &lines) ? "" : lastLog();
       },
       "[INI] cannot read pipe: is not a regular file", "[INI] cannot read folder: is a folder",
       "[INI] cannot read huge: " + above(host::kIniFileMaxBytes)},
      {"file service",
       [&](const std::string& name) {
         const HANDLE file = standard.ini.OpenFile(name.c_str(), kFileAccessRead, kFileShareRead, kFileOpenExisting);
         if (file == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
         standard.ini.CloseFile(file);
         return std::string();
       },
       "error 5", "error 5", ""},
      {"OBJ mesh",
       [&](const std::string& name) {
         host::MeshData mesh;
         std::string error;
         return host::LoadObjMesh(standard.ini, name.c_str(), &mesh, &error) ? "" : error;
       },
       "cannot open OBJ file pipe", "cannot open OBJ file folder",
       "cannot read OBJ file huge: " + above(host::kObjFileMaxBytes)},
      {"model",
       [&](const std::string& name) {
         ComponentHandle model{};
         standard.host.CreateObject(&model, "modelr");
         standard.host.SendMessage(model, "lss", 20500, name.c_str(), "");
         return lastLog();
       },
       "[modelr] cannot read model file " + root + "/pipe: is not a regular file",
       "[modelr] cannot read model file " + root + "/folder: is a folder",
       "[modelr] cannot read model file " + root + "/huge: " + above(host::kObjFileMaxBytes)},
      {"build input's OBJ",
       [&](const std::string& name) {
         host::BuildInput in;
         std::string error;
         return host::BuildInputFromObj(name, &in, &error) ? "" : error;
       },
       "cannot read OBJ file " + root + "/pipe: is not a regular file",
       "cannot read OBJ file " + root + "/folder: is a folder",
       "cannot read OBJ file " + root + "/huge: " + above(host::kObjFileMaxBytes)},
      {"build input",
       [&](const std::string& name) {
         AbtBuildInput in;
         const char* why = nullptr;
         return ReadBuildInput(name.c_str(), &in, &why) ? "" : why;
       },
       "the input does not open", "the input does not open", kAbtInputTooLarge},
      {"movie",
       [&](const std::string& name) {
         Playback::MovieDataPtr movie;
         return movies.LoadMovie(&movie, &name) ? "" : lastLog();
       },
       "[ERR]:SceneSystem::LoadMovie pipe: the file is not a regular file",
       "[ERR]:SceneSystem::LoadMovie folder: the file is a folder",
       "[ERR]:SceneSystem::LoadMovie huge: the file " + above(Playback::kMovieFileMaxBytes)},
      {"media",
       [&](const std::string& name) {
         IBaseFilter* reader = nullptr;
         IFileSourceFilter* loader = nullptr;
         HRESULT hr = CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       reinterpret_cast<void**>(&reader));
         if (SUCCEEDED(hr)) hr = reader->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&loader));
         const std::wstring wide(name.begin(), name.end());
         if (SUCCEEDED(hr)) hr = loader->Load(wide.c_str(), nullptr);
         if (loader != nullptr) loader->Release();
         if (reader != nullptr) reader->Release();
         char text[64] = "";
         AMGetErrorTextA(hr, text, sizeof text);
         return std::string(text);
       },
       "not a file the media sources can read", "not a file the media sources can read",
       "not a file the media sources can read"},
      {"animation",
       [&](const std::string& name) {
         host::AnimationService& service = standard.objects->animation;
         return service.LoadAnimation(name.c_str(), 0) != nullptr ? "" : service.Errors().back();
       },
       "pipe: cannot read animation file " + root + "/pipe: is not a regular file",
       "folder: cannot read animation file " + root + "/folder: is a folder",
       "huge: cannot read animation file " + root + "/huge: " + above(host::kAnimationFileMaxBytes)},
      {"command line",
       [&](const std::string& name) {
         std::string line;
         return footlight::cli::Readable(root, name, &line, host::kIniFileMaxBytes) ? "" : line;
       },
       "cannot open pipe below the resource root \"" + root + "\": it is not a regular file",
       "cannot open folder below the resource root \"" + root + "\": it is a folder",
       "cannot read huge below the resource root \"" + root + "\": it " + above(host::kIniFileMaxBytes)},
  };
  for (const Reader& reader : readers) {
    EXPECT_EQ(Promptly(root + "/pipe", [&] { return reader.outcome("pipe"); }), reader.pipe) << reader.name;
    EXPECT_EQ(reader.outcome("folder"), reader.folder) << reader.name;
    EXPECT_EQ(reader.outcome("huge"), reader.huge) << reader.name;
  }
  standard.host.DestroyAll();
}

}  // namespace
