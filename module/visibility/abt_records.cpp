#include "visibility/abt_records.h"

void AbtBox::Grow(const AbtBox& other) {
  float* mn = &m_vecMin.x;
  float* mx = &m_vecMax.x;
  const float* omn = &other.m_vecMin.x;
  const float* omx = &other.m_vecMax.x;
  for (int i = 0; i < 3; ++i) {
    if (omn[i] < mn[i]) mn[i] = omn[i];
    if (omx[i] > mx[i]) mx[i] = omx[i];
  }
}

float AbtBox::HalfDiagonalSquared() const {
  float s = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float h = ((&m_vecMax.x)[i] - (&m_vecMin.x)[i]) / 2.0f;
    s += h * h;
  }
  return s;
}

bool AbtBox::Read(ByteCursor& c) { return c.ReadF32s(&m_vecMax.x, 3) && c.ReadF32s(&m_vecMin.x, 3); }

void AbtBox::Write(ByteWriter& w) const {
  w.WriteF32s(&m_vecMax.x, 3);
  w.WriteF32s(&m_vecMin.x, 3);
}

bool AbtLeafBatch::Read(ByteCursor& c) {
  return m_Box.Read(c) && c.ReadF32s(&m_vecCentre.x, 3) && c.ReadU32(&m_nVertexFormat) && c.ReadU32(&m_nVertexBuffer) &&
         c.ReadU32(&m_nIndexBuffer) && c.ReadU32(&m_nPrimitiveCount) && c.ReadU32(&m_nStartIndex) &&
         c.ReadU32(&m_nVertexCount) && c.ReadU32(&m_nMinVertexIndex) && c.ReadU32(&m_nMaterial) &&
         c.ReadF32(&m_flEyeDistance) && c.ReadU32(&m_nBlendClass) && c.ReadU32(&m_nPrimitiveKind);
}

void AbtLeafBatch::Write(ByteWriter& w) const {
  m_Box.Write(w);
  w.WriteF32s(&m_vecCentre.x, 3);
  for (uint32_t v : {m_nVertexFormat, m_nVertexBuffer, m_nIndexBuffer, m_nPrimitiveCount, m_nStartIndex,
                     m_nVertexCount, m_nMinVertexIndex, m_nMaterial})
    w.WriteU32(v);
  w.WriteF32(m_flEyeDistance);
  w.WriteU32(m_nBlendClass);
  w.WriteU32(m_nPrimitiveKind);
}

bool AbtMaterial::Read(ByteCursor& c) {
  if (!c.ReadBytes(m_Parameters, sizeof m_Parameters)) return false;
  for (uint32_t& v : m_SlotUsed)
    if (!c.ReadU32(&v)) return false;
  for (uint32_t& v : m_Texture)
    if (!c.ReadU32(&v)) return false;
  return true;
}

void AbtMaterial::Write(ByteWriter& w) const {
  w.WriteBytes(m_Parameters, sizeof m_Parameters);
  for (uint32_t v : m_SlotUsed) w.WriteU32(v);
  for (uint32_t v : m_Texture) w.WriteU32(v);
}

bool AbtIndexNode::Read(ByteCursor& c) {
  return m_Box.Read(c) && c.ReadF32s(&m_vecCentre.x, 3) && c.ReadI32(&m_nParent) && c.ReadI32(&m_nChildA) &&
         c.ReadI32(&m_nChildB) && c.ReadI32(&m_nCount) && c.ReadI32(&m_nFirst) && c.ReadU8(&m_bDisjointChildren) &&
         c.Skip(3);
}

void AbtIndexNode::Write(ByteWriter& w) const {
  m_Box.Write(w);
  w.WriteF32s(&m_vecCentre.x, 3);
  for (int32_t v : {m_nParent, m_nChildA, m_nChildB, m_nCount, m_nFirst}) w.WriteI32(v);
  w.WriteU8(m_bDisjointChildren);
  for (int i = 0; i < 3; ++i) w.WriteU8(0);
}

bool AbtCollisionTriangle::Read(ByteCursor& c) {
  return c.ReadU32(&m_Points[0]) && c.ReadU32(&m_Points[1]) && c.ReadU32(&m_Points[2]) && c.ReadU32(&m_nMaterial);
}

void AbtCollisionTriangle::Write(ByteWriter& w) const {
  for (uint32_t v : m_Points) w.WriteU32(v);
  w.WriteU32(m_nMaterial);
}

bool AbtOccluderPolygon::Read(ByteCursor& c) {
  return c.ReadU32(&m_nPlane) && c.ReadU32(&m_nVertexCount) && c.ReadU32(&m_nFirst);
}

void AbtOccluderPolygon::Write(ByteWriter& w) const {
  w.WriteU32(m_nPlane);
  w.WriteU32(m_nVertexCount);
  w.WriteU32(m_nFirst);
}

bool ReadAbtPoint(ByteCursor& c, D3DXVECTOR3* p) { return c.ReadF32s(&p->x, 3); }
void WriteAbtPoint(ByteWriter& w, const D3DXVECTOR3& p) { w.WriteF32s(&p.x, 3); }
bool ReadAbtPlane(ByteCursor& c, D3DXPLANE* p) {
  return c.ReadF32(&p->a) && c.ReadF32(&p->b) && c.ReadF32(&p->c) && c.ReadF32(&p->d);
}
void WriteAbtPlane(ByteWriter& w, const D3DXPLANE& p) {
  for (float f : {p.a, p.b, p.c, p.d}) w.WriteF32(f);
}
