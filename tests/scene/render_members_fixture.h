// What the tests of the scene's render members share: small texture files, and a scene made in
// a host whose resource root holds a flag list and a material file.
#pragma once
#include <cstdint>
#include <fstream>
#include <string>

#include "frame/host_blocks.h"
#include "scene_fixture.h"

namespace scene_testing {

// A 2 x 2 32-bit TGA file below the host's root.
inline void WriteTexture(SceneHost& s, const std::string& relative) {
  std::string bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
  for (int i = 0; i < 4; ++i) bytes += std::string("\x40\x80\xC0\xFF", 4);
  s.WriteFile(relative, bytes);
}

constexpr const char* kFlagListFile = "Resource/ini/Brivanta/common/flagList.ini";
constexpr const char* kMaterialFile = "resource/ini/scene/material/1.ini";

// A scene system made after the flag list and the material file are written, with the material
// file open as scene loading would hand it to the flags.
struct FlagScene {
  SceneHost s;
  CSceneSystem* scene = nullptr;
  IIniFile* material = nullptr;

  FlagScene(const std::string& flagList, const std::string& materialText = "") {
    s.WriteFile(kFlagListFile, flagList);
    s.WriteFile(kMaterialFile, materialText);
    WriteTexture(s, "textures/cloth.tga");
    WriteTexture(s, "textures/detail.tga");
    scene = s.MakeScene();
    material = s.standard.ini.OpenIni("resource\\ini\\scene\\material\\1.ini", 0);
  }
  ~FlagScene() { ReleaseIniFile(material); }

  void Add(const char* type, D3DXVECTOR3 c0, D3DXVECTOR3 c1, D3DXVECTOR3 c2) {
    scene->flags.AddFlag("flag01", type, &c0.x, &c1.x, &c2.x, material);
  }
  host::Renderer& renderer() { return s.standard.renderer; }
};

}  // namespace scene_testing
