#include "terrain/terrain_editor.h"

#include <climits>

CTerrainEditor::CTerrainEditor() = default;
CTerrainEditor::~CTerrainEditor() = default;

bool CTerrainEditor::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}
