#include "visibility/abt_build_input.h"

#include <cmath>
#include <cstring>

#include "frame/module_globals.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/byte_cursor.h"

namespace {

bool ReadStreamTransfer(void* bytes, uint32_t size, void* context) {
  return ReadStreamBytes(bytes, size, static_cast<AbtStreamCursor*>(context));
}

// A section of count records of `size` bytes at the cursor; false when the file ends first.
bool TakeSection(ByteCursor& c, uint64_t count, uint64_t size, const uint8_t** at) {
  const uint64_t bytes = count * size;  // both below 2^32: no overflow
  if (bytes > c.Remaining()) return false;
  *at = c.Here();
  return c.Skip(static_cast<size_t>(bytes));
}

bool FinitePosition(const uint8_t* vertex) {
  float p[3];
  std::memcpy(p, vertex, 12);
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

bool RecordIsSound(const AbtBuildInput& in, const AbtBuildRecord& r) {
  if (r.m_nVertexBuffer >= in.m_Buffers.size() || r.m_nMaterial >= in.m_nMaterialCount) return false;
  if (static_cast<uint64_t>(r.m_nFirstTriangle) + r.m_nTriangleCount > in.m_nTriangleCount) return false;
  const AbtInputBuffer& b = in.m_Buffers[r.m_nVertexBuffer];
  if (r.m_nVertexCount > kAbtMaxRecordVertices ||
      static_cast<uint64_t>(r.m_nFirstVertex) + r.m_nVertexCount > b.VertexCount())
    return false;
  for (uint32_t t = 0; t < r.m_nTriangleCount; ++t)
    for (int k = 0; k < 3; ++k)
      if (in.Corner(r.m_nFirstTriangle + t, k) >= r.m_nVertexCount) return false;
  for (uint32_t v = 0; v < r.m_nVertexCount; ++v)
    if (!FinitePosition(in.Vertex(r, v))) return false;
  return true;
}

constexpr const char* kFrameNotFinite = "the input's scene size or centre is not a finite number";

// False when the input does not hold together; `why` then names a reason of its own where one
// is kept, and stays as it was otherwise.
bool Parse(AbtBuildInput* in, const char** why) {
  ByteCursor c(in->m_Bytes.data(), in->m_Bytes.size());
  uint32_t magic = 0, unread = 0, counts[7] = {};
  int32_t recordCount = 0, bufferCount = 0;
  float frame[6];
  if (!c.ReadU32(&magic) || magic != kAbtBuildMagic || !c.ReadU32(&unread)) return false;
  for (uint32_t& n : counts)
    if (!c.ReadU32(&n)) return false;
  // counts: block A, first array, second array, materials, 80-byte, 108-byte records, (records)
  recordCount = static_cast<int32_t>(counts[6]);
  uint32_t triangleCount = 0;
  if (!c.ReadU32(&triangleCount) || !c.ReadI32(&bufferCount) || !c.ReadF32s(frame, 6) || !c.ReadU32(&unread))
    return false;
  for (float f : frame)
    if (!std::isfinite(f)) {
      *why = kFrameNotFinite;
      return false;
    }
  in->m_vecSize = D3DXVECTOR3(frame[0], frame[1], frame[2]);
  in->m_vecCentre = D3DXVECTOR3(frame[3], frame[4], frame[5]);
  if (recordCount < 0 || bufferCount < 0) return false;

  const uint8_t* skipped = nullptr;
  in->m_nBlockASize = counts[0];
  in->m_nNameCount = counts[2];
  in->m_nMaterialCount = counts[3];
  if (!TakeSection(c, counts[0], 1, &in->m_pBlockA) || !TakeSection(c, counts[1], 4, &skipped) ||
      !TakeSection(c, counts[2], 4, &in->m_pNameOffsets) || !TakeSection(c, counts[3], 56, &in->m_pMaterials) ||
      !TakeSection(c, counts[4], 80, &skipped) || !TakeSection(c, counts[5], 108, &skipped))
    return false;

  // Every record takes at least its fixed part: a count the rest of the file cannot hold fails
  // before any record is made.
  if (static_cast<uint64_t>(recordCount) * AbtBuildRecord::kFixedSize > c.Remaining()) return false;
  AbtStreamCursor stream{c.Here(), c.Here() + c.Remaining()};
  in->m_Records.resize(static_cast<size_t>(recordCount));
  for (AbtBuildRecord& r : in->m_Records)
    if (!r.Read(ReadStreamTransfer, &stream)) return false;
  if (!c.Skip(static_cast<size_t>(stream.m_pPos - c.Here()))) return false;

  in->m_nTriangleCount = triangleCount;
  if (!TakeSection(c, triangleCount, 6, &in->m_pTriangles)) return false;
  const uint8_t* descriptors = nullptr;
  if (!TakeSection(c, static_cast<uint32_t>(bufferCount), 8, &descriptors)) return false;
  ByteCursor d(descriptors, 8ull * static_cast<uint32_t>(bufferCount));
  in->m_Buffers.resize(static_cast<size_t>(bufferCount));
  for (AbtInputBuffer& b : in->m_Buffers) {
    d.ReadU32(&b.m_nCode);
    d.ReadU32(&b.m_nByteSize);
    if (!AbtCodeIsKnown(b.m_nCode)) return false;
    b.m_Layout = AbtLayoutOf(b.m_nCode);
    const uint8_t* data = nullptr;
    if (b.m_nByteSize % b.m_Layout.m_nStride != 0 || !TakeSection(c, b.m_nByteSize, 1, &data)) return false;
    b.m_pData = in->m_Bytes.data() + (data - in->m_Bytes.data());
  }
  for (const AbtBuildRecord& r : in->m_Records)
    if (!RecordIsSound(*in, r)) return false;
  return true;
}

}  // namespace

bool ParseBuildInput(std::vector<uint8_t> bytes, AbtBuildInput* input, const char** why) {
  *input = AbtBuildInput{};
  input->m_Bytes = std::move(bytes);
  const char* reason = "the input's counts, indices or positions do not fit its sections";
  if (Parse(input, &reason)) return true;
  *input = AbtBuildInput{};
  if (why != nullptr) *why = reason;
  return false;
}

HostFileRead ReadWholeHostFile(const char* path, uint64_t limit, std::vector<uint8_t>* bytes) {
  IIniService* files = g_pIniService;
  bytes->clear();
  if (files == nullptr || path == nullptr) return HostFileRead::NotOpened;
  HANDLE file = files->OpenFile(path, kFileAccessRead, kFileShareRead, kFileOpenExisting);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return HostFileRead::NotOpened;
  uint32_t high = 0;
  const uint32_t low = files->GetFileSize(file, &high);
  const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
  // One read moves at most 4 GiB.
  if (size > limit || size > UINT32_MAX) {
    files->CloseFile(file);
    return HostFileRead::TooLarge;
  }
  bytes->assign(size > 0 ? size : 1, 0);
  uint32_t got = 0;
  const BOOL ok = files->ReadFile(file, bytes->data(), low, &got);
  files->CloseFile(file);
  if (!ok) {
    bytes->clear();
    return HostFileRead::Failed;
  }
  bytes->resize(got < low ? got : low);
  return HostFileRead::Read;
}

bool ReadBuildInput(const char* path, AbtBuildInput* input, const char** why) {
  std::vector<uint8_t> bytes;
  *input = AbtBuildInput{};
  const char* reason = nullptr;
  const HostFileRead read = ReadWholeHostFile(path, kAbtBuildInputMaxBytes, &bytes);
  if (read != HostFileRead::Read) {
    reason = read == HostFileRead::NotOpened ? "the input does not open"
             : read == HostFileRead::TooLarge ? kAbtInputTooLarge
                                              : "the input does not read";
  } else if (bytes.size() < 4 || (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24) !=
                                     kAbtBuildMagic) {
    reason = "the input is not a build input (it does not begin with \"60.1\")";
  } else {
    ParseBuildInput(std::move(bytes), input, &reason);
  }
  if (why != nullptr) *why = reason;
  return reason == nullptr;
}
