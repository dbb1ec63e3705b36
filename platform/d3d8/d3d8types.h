// The Direct3D 8 value records shared by the math helpers, the renderer and the module.
#pragma once
#include "win32/win32_types.h"

struct D3DVECTOR {
  float x;
  float y;
  float z;
};

// Row-major 4x4; translation lives in the last row (row-vector convention).
struct D3DMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
};

struct D3DCOLORVALUE {
  float r;
  float g;
  float b;
  float a;
};

using D3DCOLOR = DWORD;
