// The records a scene system keeps: its models, vis states, helper points and light sockets.
// The scene loader and the helper-point operations fill them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/component_handle.h"

class CTexCoordModifiers;

// One model of a scene: one section of the scene file. Created zero-filled, then filled from the
// section.
struct SceneModelRecord {
  char name[256];
  int32_t GrassType;
  int32_t ModelType;
  bool Visible;
  int32_t RenderStyle;
  char TexPath1[256];
  char TexPath2[256];
  char TexPath3[256];
  char ModelPath[256];
  char ModelName[256];
  char MotiveName[256];
  char AddLayer[256];
  char ClassName[256];
  char TechnicName[256];
  char VideoFile[256];
  char VideoOutputPin[256];
  int32_t SceneVideoPlayerID;
  ComponentHandle modelObject;
  ComponentHandle classObject;
  char Parameters[256];
  CTexCoordModifiers* materialAnimation;  // owned; null without "MtlAni"
  int32_t alphaReference;
  bool AttachConfig;
  bool ClampUCoord;
  bool ClampVCoord;
  D3DXPLANE mirrorPlane;
  D3DXMATRIX reflection;
  float PlayRate;
};

// One section of "vis_state.ini".
struct VisStateRecord {
  std::string name;
  std::vector<std::string> actions;  // every "action" value, in file order
  int32_t RandomBase = 0;
  int32_t RandomInterval = 0;
};

// A named placement frame; row 3 of the frame is the position. A point in use comes from the
// scene's model nodes: it is never changed, removed or saved.
struct HelperPoint {
  std::string name;
  D3DXMATRIX frame;
  uint8_t inUse = 0;
};

struct HelperPointGroup {
  std::string name;
  std::vector<HelperPoint> points;
};

// A read-only named frame to which lights are attached; names compare without regard to case.
struct LightSocket {
  std::string name;
  uint32_t hash = 0;  // ELF hash of the name
  D3DXMATRIX frame;
};
