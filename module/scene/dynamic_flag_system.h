// The scene's waving flags. The scene system holds the flag system as a member and drives it;
// the cloth itself comes with the render members of the scene. Until then the system keeps the
// flags it is asked to build (name, kind and corners) and does nothing else with them.
#pragma once
#include <string>
#include <vector>

#include "d3dx8/d3dx8math.h"

class IIniFile;

class CDynamicFlagSystem {
 public:
  // What AddFlag was given.
  struct FlagRecord {
    std::string name;
    std::string kind;
    D3DXVECTOR3 corners[3];
  };

  CDynamicFlagSystem();
  ~CDynamicFlagSystem();

  // Reads the flag list.
  void Init();
  void SetTime(float seconds);
  // Builds one flag from its three corners; its material comes from the scene's material file
  // (may be null).
  void AddFlag(const char* name, const char* kind, const D3DXVECTOR3* corner0, const D3DXVECTOR3* corner1,
               const D3DXVECTOR3* corner2, IIniFile* materialFile);
  // Drops every flag.
  void Clear();

  const std::vector<FlagRecord>& Flags() const { return flags_; }

 private:
  std::vector<FlagRecord> flags_;
};
