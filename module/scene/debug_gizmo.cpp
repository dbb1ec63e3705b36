#include "scene/debug_gizmo.h"

CDebugGizmo::CDebugGizmo() = default;
CDebugGizmo::~CDebugGizmo() = default;
