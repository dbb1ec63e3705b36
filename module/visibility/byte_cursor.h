// Little-endian reading and writing of the tree files. Every read goes through one cursor that
// knows where its buffer ends: a read past the end fails and leaves the cursor where it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}

  size_t Position() const { return m_nPos; }
  size_t Remaining() const { return m_nSize - m_nPos; }
  const uint8_t* Here() const { return m_pData + m_nPos; }

  bool Skip(size_t count) {
    if (count > Remaining()) return false;
    m_nPos += count;
    return true;
  }
  bool ReadBytes(void* out, size_t count) {
    if (count > Remaining()) return false;
    if (count > 0) std::memcpy(out, m_pData + m_nPos, count);
    m_nPos += count;
    return true;
  }
  bool ReadU8(uint8_t* out) { return ReadBytes(out, 1); }
  bool ReadU16(uint16_t* out) {
    uint8_t b[2];
    if (!ReadBytes(b, 2)) return false;
    *out = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool ReadU32(uint32_t* out) {
    uint8_t b[4];
    if (!ReadBytes(b, 4)) return false;
    *out = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  bool ReadI32(int32_t* out) {
    uint32_t v;
    if (!ReadU32(&v)) return false;
    *out = static_cast<int32_t>(v);
    return true;
  }
  bool ReadF32(float* out) {
    uint32_t v;
    if (!ReadU32(&v)) return false;
    std::memcpy(out, &v, 4);
    return true;
  }
  bool ReadF32s(float* out, size_t count) {
    for (size_t i = 0; i < count; ++i)
      if (!ReadF32(&out[i])) return false;
    return true;
  }

 private:
  const uint8_t* m_pData;
  size_t m_nSize;
  size_t m_nPos = 0;
};

class ByteWriter {
 public:
  std::vector<uint8_t>& Bytes() { return m_Bytes; }
  const std::vector<uint8_t>& Bytes() const { return m_Bytes; }
  void WriteBytes(const void* data, size_t count) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_Bytes.insert(m_Bytes.end(), p, p + count);
  }
  void WriteU8(uint8_t v) { m_Bytes.push_back(v); }
  void WriteU16(uint16_t v) {
    m_Bytes.push_back(static_cast<uint8_t>(v));
    m_Bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  void WriteU32(uint32_t v) {
    for (int i = 0; i < 4; ++i) m_Bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
  void WriteF32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    WriteU32(v);
  }
  void WriteF32s(const float* f, size_t count) {
    for (size_t i = 0; i < count; ++i) WriteF32(f[i]);
  }

 private:
  std::vector<uint8_t> m_Bytes;
};
