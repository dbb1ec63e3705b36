// The Direct3D 8 extension library's math functions.
#include "d3dx8/d3dx8math.h"

#include <cmath>

namespace {

bool IsUsableDivisor(float v) { return std::isfinite(v) && v != 0.0f; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Vectors
// ---------------------------------------------------------------------------------------------

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v) {
  const float len = D3DXVec2Length(v);
  if (!(len > 0.0f)) {
    out->x = out->y = 0.0f;
    return out;
  }
  const float inv = 1.0f / len;
  out->x = v->x * inv;
  out->y = v->y * inv;
  return out;
}

D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y;
  out->x = x * m->_11 + y * m->_21 + m->_41;
  out->y = x * m->_12 + y * m->_22 + m->_42;
  out->z = x * m->_13 + y * m->_23 + m->_43;
  out->w = x * m->_14 + y * m->_24 + m->_44;
  return out;
}

D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y;
  const float w = x * m->_14 + y * m->_24 + m->_44;
  const float rx = x * m->_11 + y * m->_21 + m->_41;
  const float ry = x * m->_12 + y * m->_22 + m->_42;
  const float inv = 1.0f / w;
  out->x = rx * inv;
  out->y = ry * inv;
  return out;
}

D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y;
  out->x = x * m->_11 + y * m->_21;
  out->y = x * m->_12 + y * m->_22;
  return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
  const float len = D3DXVec3Length(v);
  if (!(len > 0.0f)) {
    out->x = out->y = out->z = 0.0f;
    return out;
  }
  const float inv = 1.0f / len;
  out->x = v->x * inv;
  out->y = v->y * inv;
  out->z = v->z * inv;
  return out;
}

namespace {

// world x view x projection, each null one taken as the identity.
D3DXMATRIX CombineTransforms(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  D3DXMATRIX combined;
  D3DXMatrixIdentity(&combined);
  if (world) combined = *world;
  if (view) D3DXMatrixMultiply(&combined, &combined, view);
  if (projection) D3DXMatrixMultiply(&combined, &combined, projection);
  return combined;
}

}  // namespace

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  const D3DXMATRIX combined = CombineTransforms(projection, view, world);
  D3DXVECTOR3 p;
  D3DXVec3TransformCoord(&p, v, &combined);
  if (viewport) {
    p.x = static_cast<float>(viewport->X) + (1.0f + p.x) * static_cast<float>(viewport->Width) * 0.5f;
    p.y = static_cast<float>(viewport->Y) + (1.0f - p.y) * static_cast<float>(viewport->Height) * 0.5f;
    p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
  }
  *out = p;
  return out;
}

D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
  D3DXMATRIX inverse = CombineTransforms(projection, view, world);
  if (!D3DXMatrixInverse(&inverse, nullptr, &inverse)) return nullptr;
  D3DXVECTOR3 p = *v;
  if (viewport) {
    const float depth = viewport->MaxZ - viewport->MinZ;
    p.x = (p.x - static_cast<float>(viewport->X)) * 2.0f / static_cast<float>(viewport->Width) - 1.0f;
    p.y = 1.0f - (p.y - static_cast<float>(viewport->Y)) * 2.0f / static_cast<float>(viewport->Height);
    p.z = depth != 0.0f ? (p.z - viewport->MinZ) / depth : 0.0f;
  }
  D3DXVec3TransformCoord(out, &p, &inverse);
  return out;
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v) {
  const float len = D3DXVec4Length(v);
  if (!(len > 0.0f)) {
    out->x = out->y = out->z = out->w = 0.0f;
    return out;
  }
  const float inv = 1.0f / len;
  out->x = v->x * inv;
  out->y = v->y * inv;
  out->z = v->z * inv;
  out->w = v->w * inv;
  return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z, w = v->w;
  out->x = x * m->_11 + y * m->_21 + z * m->_31 + w * m->_41;
  out->y = x * m->_12 + y * m->_22 + z * m->_32 + w * m->_42;
  out->z = x * m->_13 + y * m->_23 + z * m->_33 + w * m->_43;
  out->w = x * m->_14 + y * m->_24 + z * m->_34 + w * m->_44;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Matrices
// ---------------------------------------------------------------------------------------------

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) out->m[i][j] = i == j ? 1.0f : 0.0f;
  return out;
}

BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m->m[i][j] != (i == j ? 1.0f : 0.0f)) return FALSE;
  return TRUE;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  D3DMATRIX t;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) t.m[j][i] = m->m[i][j];
  *static_cast<D3DMATRIX*>(out) = t;
  return out;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX t;
  D3DXMatrixMultiply(&t, a, b);
  return D3DXMatrixTranspose(out, &t);
}

namespace {

// The adjugate (the transposed cofactors) and the determinant, by Laplace expansion along the
// first two rows: six 2x2 determinants of rows 0-1 and six of rows 2-3 serve every cofactor.
float Adjugate(const D3DMATRIX* src, float inv[16]) {
  const float(&a)[4][4] = src->m;
  const float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
  const float s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
  const float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
  const float s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
  const float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
  const float s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
  const float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
  const float c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
  const float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
  const float c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
  const float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
  const float c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
  inv[0] = a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3;
  inv[1] = -a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3;
  inv[2] = a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3;
  inv[3] = -a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3;
  inv[4] = -a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1;
  inv[5] = a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1;
  inv[6] = -a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1;
  inv[7] = a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1;
  inv[8] = a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0;
  inv[9] = -a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0;
  inv[10] = a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0;
  inv[11] = -a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0;
  inv[12] = -a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0;
  inv[13] = a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0;
  inv[14] = -a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0;
  inv[15] = a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0;
  return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

}  // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) {
  float adj[16];
  return Adjugate(m, adj);
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
  float adj[16];
  const float det = Adjugate(m, adj);
  if (determinant) *determinant = det;
  if (!IsUsableDivisor(det)) return nullptr;
  const float inv = 1.0f / det;
  float* o = &out->_11;
  for (int i = 0; i < 16; ++i) o[i] = adj[i] * inv;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  D3DXMatrixIdentity(out);
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  D3DXMatrixIdentity(out);
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
  const float s = std::sin(angle), c = std::cos(angle);
  D3DXMatrixIdentity(out);
  out->_22 = c;
  out->_23 = s;
  out->_32 = -s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
  const float s = std::sin(angle), c = std::cos(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
  const float s = std::sin(angle), c = std::cos(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_12 = s;
  out->_21 = -s;
  out->_22 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, axis);
  const float s = std::sin(angle), c = std::cos(angle), t = 1.0f - c;
  D3DXMatrixIdentity(out);
  out->_11 = t * n.x * n.x + c;
  out->_12 = t * n.x * n.y + s * n.z;
  out->_13 = t * n.x * n.z - s * n.y;
  out->_21 = t * n.x * n.y - s * n.z;
  out->_22 = t * n.y * n.y + c;
  out->_23 = t * n.y * n.z + s * n.x;
  out->_31 = t * n.x * n.z + s * n.y;
  out->_32 = t * n.y * n.z - s * n.x;
  out->_33 = t * n.z * n.z + c;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  D3DXMatrixIdentity(out);
  out->_11 = 1.0f - 2.0f * (y * y + z * z);
  out->_12 = 2.0f * (x * y + z * w);
  out->_13 = 2.0f * (x * z - y * w);
  out->_21 = 2.0f * (x * y - z * w);
  out->_22 = 1.0f - 2.0f * (x * x + z * z);
  out->_23 = 2.0f * (y * z + x * w);
  out->_31 = 2.0f * (x * z + y * w);
  out->_32 = 2.0f * (y * z - x * w);
  out->_33 = 1.0f - 2.0f * (x * x + y * y);
  return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
  D3DXMATRIX r, p, y;
  D3DXMatrixRotationZ(&r, roll);
  D3DXMatrixRotationX(&p, pitch);
  D3DXMatrixRotationY(&y, yaw);
  D3DXMatrixMultiply(&r, &r, &p);
  return D3DXMatrixMultiply(out, &r, &y);
}

namespace {

// The view matrix from the three camera axes and the eye.
D3DXMATRIX* ViewFromAxes(D3DXMATRIX* out, const D3DXVECTOR3& xa, const D3DXVECTOR3& ya, const D3DXVECTOR3& za,
                         const D3DXVECTOR3& eye) {
  out->_11 = xa.x; out->_12 = ya.x; out->_13 = za.x; out->_14 = 0.0f;
  out->_21 = xa.y; out->_22 = ya.y; out->_23 = za.y; out->_24 = 0.0f;
  out->_31 = xa.z; out->_32 = ya.z; out->_33 = za.z; out->_34 = 0.0f;
  out->_41 = -D3DXVec3Dot(&xa, &eye);
  out->_42 = -D3DXVec3Dot(&ya, &eye);
  out->_43 = -D3DXVec3Dot(&za, &eye);
  out->_44 = 1.0f;
  return out;
}

}  // namespace

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up) {
  D3DXVECTOR3 za = *at - *eye, xa, ya;
  D3DXVec3Normalize(&za, &za);
  D3DXVec3Cross(&xa, up, &za);
  D3DXVec3Normalize(&xa, &xa);
  D3DXVec3Cross(&ya, &za, &xa);
  const D3DXVECTOR3 e = *eye;
  return ViewFromAxes(out, xa, ya, za, e);
}

D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up) {
  D3DXVECTOR3 za = *eye - *at, xa, ya;
  D3DXVec3Normalize(&za, &za);
  D3DXVec3Cross(&xa, up, &za);
  D3DXVec3Normalize(&xa, &xa);
  D3DXVec3Cross(&ya, &za, &xa);
  const D3DXVECTOR3 e = *eye;
  return ViewFromAxes(out, xa, ya, za, e);
}

namespace {

D3DXMATRIX* Zero(D3DXMATRIX* out) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) out->m[i][j] = 0.0f;
  return out;
}

}  // namespace

D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  Zero(out);
  out->_11 = 2.0f * zn / w;
  out->_22 = 2.0f * zn / h;
  out->_33 = zf / (zf - zn);
  out->_34 = 1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveRH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  Zero(out);
  out->_11 = 2.0f * zn / w;
  out->_22 = 2.0f * zn / h;
  out->_33 = zf / (zn - zf);
  out->_34 = -1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf) {
  const float yScale = 1.0f / std::tan(fovY * 0.5f);
  const float xScale = yScale / aspect;
  Zero(out);
  out->_11 = xScale;
  out->_22 = yScale;
  out->_33 = zf / (zf - zn);
  out->_34 = 1.0f;
  out->_43 = -zn * zf / (zf - zn);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf) {
  const float yScale = 1.0f / std::tan(fovY * 0.5f);
  const float xScale = yScale / aspect;
  Zero(out);
  out->_11 = xScale;
  out->_22 = yScale;
  out->_33 = zf / (zn - zf);
  out->_34 = -1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
  Zero(out);
  out->_11 = 2.0f * zn / (r - l);
  out->_22 = 2.0f * zn / (t - b);
  out->_31 = (l + r) / (l - r);
  out->_32 = (t + b) / (b - t);
  out->_33 = zf / (zf - zn);
  out->_34 = 1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
  Zero(out);
  out->_11 = 2.0f * zn / (r - l);
  out->_22 = 2.0f * zn / (t - b);
  out->_31 = (l + r) / (r - l);
  out->_32 = (t + b) / (t - b);
  out->_33 = zf / (zn - zf);
  out->_34 = -1.0f;
  out->_43 = zn * zf / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  D3DXMatrixIdentity(out);
  out->_11 = 2.0f / w;
  out->_22 = 2.0f / h;
  out->_33 = 1.0f / (zf - zn);
  out->_43 = zn / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, float w, float h, float zn, float zf) {
  D3DXMatrixIdentity(out);
  out->_11 = 2.0f / w;
  out->_22 = 2.0f / h;
  out->_33 = 1.0f / (zn - zf);
  out->_43 = zn / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
  D3DXMatrixIdentity(out);
  out->_11 = 2.0f / (r - l);
  out->_22 = 2.0f / (t - b);
  out->_33 = 1.0f / (zf - zn);
  out->_41 = (l + r) / (l - r);
  out->_42 = (t + b) / (b - t);
  out->_43 = zn / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf) {
  D3DXMatrixIdentity(out);
  out->_11 = 2.0f / (r - l);
  out->_22 = 2.0f / (t - b);
  out->_33 = 1.0f / (zn - zf);
  out->_41 = (l + r) / (l - r);
  out->_42 = (t + b) / (b - t);
  out->_43 = zn / (zn - zf);
  return out;
}

D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane) {
  D3DXPLANE p;
  D3DXPlaneNormalize(&p, plane);
  const float a = p.a, b = p.b, c = p.c, d = p.d;
  out->_11 = -2.0f * a * a + 1.0f; out->_12 = -2.0f * b * a;        out->_13 = -2.0f * c * a;        out->_14 = 0.0f;
  out->_21 = -2.0f * a * b;        out->_22 = -2.0f * b * b + 1.0f; out->_23 = -2.0f * c * b;        out->_24 = 0.0f;
  out->_31 = -2.0f * a * c;        out->_32 = -2.0f * b * c;        out->_33 = -2.0f * c * c + 1.0f; out->_34 = 0.0f;
  out->_41 = -2.0f * a * d;        out->_42 = -2.0f * b * d;        out->_43 = -2.0f * c * d;        out->_44 = 1.0f;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Quaternions
// ---------------------------------------------------------------------------------------------

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  const float x = b->w * a->x + b->x * a->w + b->y * a->z - b->z * a->y;
  const float y = b->w * a->y - b->x * a->z + b->y * a->w + b->z * a->x;
  const float z = b->w * a->z + b->x * a->y - b->y * a->x + b->z * a->w;
  const float w = b->w * a->w - b->x * a->x - b->y * a->y - b->z * a->z;
  out->x = x; out->y = y; out->z = z; out->w = w;
  return out;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  const float len = D3DXQuaternionLength(q);
  if (!(len > 0.0f)) {
    out->x = out->y = out->z = out->w = 0.0f;
    return out;
  }
  const float inv = 1.0f / len;
  out->x = q->x * inv; out->y = q->y * inv; out->z = q->z * inv; out->w = q->w * inv;
  return out;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  const float len2 = D3DXQuaternionLengthSq(q);
  if (!(len2 > 0.0f)) {
    out->x = out->y = out->z = out->w = 0.0f;
    return out;
  }
  const float inv = 1.0f / len2;
  out->x = -q->x * inv; out->y = -q->y * inv; out->z = -q->z * inv; out->w = q->w * inv;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, axis);
  const float s = std::sin(angle * 0.5f), c = std::cos(angle * 0.5f);
  out->x = n.x * s; out->y = n.y * s; out->z = n.z * s; out->w = c;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m) {
  const float trace = m->_11 + m->_22 + m->_33;
  float x, y, z, w;
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f) * 2.0f;  // 4w
    w = 0.25f * s;
    x = (m->_23 - m->_32) / s;
    y = (m->_31 - m->_13) / s;
    z = (m->_12 - m->_21) / s;
  } else if (m->_11 >= m->_22 && m->_11 >= m->_33) {
    const float s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;  // 4x
    x = 0.25f * s;
    y = (m->_12 + m->_21) / s;
    z = (m->_13 + m->_31) / s;
    w = (m->_23 - m->_32) / s;
  } else if (m->_22 >= m->_33) {
    const float s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;  // 4y
    x = (m->_12 + m->_21) / s;
    y = 0.25f * s;
    z = (m->_23 + m->_32) / s;
    w = (m->_31 - m->_13) / s;
  } else {
    const float s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;  // 4z
    x = (m->_13 + m->_31) / s;
    y = (m->_23 + m->_32) / s;
    z = 0.25f * s;
    w = (m->_12 - m->_21) / s;
  }
  out->x = x; out->y = y; out->z = z; out->w = w;
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll) {
  const float sy = std::sin(yaw * 0.5f), cy = std::cos(yaw * 0.5f);
  const float sp = std::sin(pitch * 0.5f), cp = std::cos(pitch * 0.5f);
  const float sr = std::sin(roll * 0.5f), cr = std::cos(roll * 0.5f);
  // Roll, then pitch, then yaw: qy qp qr as a Hamilton product.
  out->x = cy * sp * cr + sy * cp * sr;
  out->y = sy * cp * cr - cy * sp * sr;
  out->z = cy * cp * sr - sy * sp * cr;
  out->w = cy * cp * cr + sy * sp * sr;
  return out;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle) {
  if (axis) {
    axis->x = q->x;
    axis->y = q->y;
    axis->z = q->z;
  }
  if (angle) {
    const float w = q->w > 1.0f ? 1.0f : (q->w < -1.0f ? -1.0f : q->w);
    *angle = 2.0f * std::acos(w);
  }
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b, float t) {
  float cosom = D3DXQuaternionDot(a, b);
  float sign = 1.0f;
  if (cosom < 0.0f) {
    cosom = -cosom;
    sign = -1.0f;
  }
  float s0, s1;
  if (1.0f - cosom > 1e-6f) {
    const float omega = std::acos(cosom > 1.0f ? 1.0f : cosom);
    const float inv = 1.0f / std::sin(omega);
    s0 = std::sin((1.0f - t) * omega) * inv;
    s1 = std::sin(t * omega) * inv;
  } else {
    s0 = 1.0f - t;
    s1 = t;
  }
  s1 *= sign;
  const float x = s0 * a->x + s1 * b->x;
  const float y = s0 * a->y + s1 * b->y;
  const float z = s0 * a->z + s1 * b->z;
  const float w = s0 * a->w + s1 * b->w;
  out->x = x; out->y = y; out->z = z; out->w = w;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Planes
// ---------------------------------------------------------------------------------------------

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
  const float len = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
  if (!(len > 0.0f)) {
    out->a = out->b = out->c = out->d = 0.0f;
    return out;
  }
  const float inv = 1.0f / len;
  out->a = p->a * inv; out->b = p->b * inv; out->c = p->c * inv; out->d = p->d * inv;
  return out;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  const D3DXVECTOR3 dir = *b - *a;
  const float denom = D3DXPlaneDotNormal(p, &dir);
  if (denom == 0.0f) return nullptr;
  const float t = -D3DXPlaneDotCoord(p, a) / denom;
  *out = *a + dir * t;
  return out;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
  const float d = -D3DXVec3Dot(point, normal);
  out->a = normal->x; out->b = normal->y; out->c = normal->z; out->d = d;
  return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2, const D3DXVECTOR3* v3) {
  const D3DXVECTOR3 e1 = *v2 - *v1, e2 = *v3 - *v1;
  D3DXVECTOR3 n;
  D3DXVec3Cross(&n, &e1, &e2);
  D3DXVec3Normalize(&n, &n);
  const D3DXVECTOR3 p = *v1;
  return D3DXPlaneFromPointNormal(out, &p, &n);
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m) {
  const D3DXVECTOR4 v(p->a, p->b, p->c, p->d);
  D3DXVECTOR4 r;
  D3DXVec4Transform(&r, &v, m);
  out->a = r.x; out->b = r.y; out->c = r.z; out->d = r.w;
  return out;
}

// ---------------------------------------------------------------------------------------------
// Intersection
// ---------------------------------------------------------------------------------------------

BOOL D3DXIntersectTri(const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                      const D3DXVECTOR3* rayPos, const D3DXVECTOR3* rayDir, float* u, float* v, float* dist) {
  const D3DXVECTOR3 e1 = *p1 - *p0, e2 = *p2 - *p0;
  D3DXVECTOR3 pvec;
  D3DXVec3Cross(&pvec, rayDir, &e2);
  const float det = D3DXVec3Dot(&e1, &pvec);
  if (!IsUsableDivisor(det)) return FALSE;  // parallel to the plane, or a degenerate triangle
  const float invDet = 1.0f / det;
  const D3DXVECTOR3 tvec = *rayPos - *p0;
  const float bu = D3DXVec3Dot(&tvec, &pvec) * invDet;
  if (bu < 0.0f || bu > 1.0f) return FALSE;
  D3DXVECTOR3 qvec;
  D3DXVec3Cross(&qvec, &tvec, &e1);
  const float bv = D3DXVec3Dot(rayDir, &qvec) * invDet;
  if (bv < 0.0f || bu + bv > 1.0f) return FALSE;
  const float t = D3DXVec3Dot(&e2, &qvec) * invDet;
  if (!(t >= 0.0f)) return FALSE;  // behind the origin
  if (u) *u = bu;
  if (v) *v = bv;
  if (dist) *dist = t;
  return TRUE;
}
