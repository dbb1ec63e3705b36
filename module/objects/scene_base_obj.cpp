#include "objects/scene_base_obj.h"

CSceneBaseObj::CSceneBaseObj() = default;
CSceneBaseObj::~CSceneBaseObj() = default;
