#include "playback/movie_stream.h"

#include <cstring>
#include <memory>

#include "frame/module_globals.h"
#include "playback/object_event.h"
#include "playback/scene_event.h"

namespace Playback {

static_assert(sizeof(D3DLIGHT8) == 104, "the light record of SetValue352 is 26 words");
static_assert(sizeof(D3DXMATRIX) == 64 && sizeof(D3DXVECTOR3) == 12, "matrices and vectors are plain floats");

namespace {
void StoreLe32(uint8_t* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}
// An event of a type the system does not make: a programming error, written to the host's log.
void ReportUnknown(const char* family, uint32_t type) {
  if (g_pHost != nullptr) g_pHost->Log("[ERR]:OutStream::operator <<: unexpected %s type %u", family, type);
}
uint32_t LoadLe32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
         static_cast<uint32_t>(in[3]) << 24;
}
}  // namespace

// ---- OutStream ------------------------------------------------------------------------------------

void OutStream::PutWords(const void* words, size_t count) {
  const auto* in = static_cast<const uint8_t*>(words);
  for (size_t i = 0; i < count; ++i) {
    uint32_t v;
    std::memcpy(&v, in + 4 * i, 4);
    uint8_t bytes[4];
    StoreLe32(bytes, v);
    out_.write(reinterpret_cast<const char*>(bytes), 4);
  }
}

OutStream& OutStream::operator<<(uint8_t v) {
  out_.put(static_cast<char>(v));
  return *this;
}
OutStream& OutStream::operator<<(uint32_t v) {
  PutWords(&v, 1);
  return *this;
}
OutStream& OutStream::operator<<(float v) {
  PutWords(&v, 1);
  return *this;
}
OutStream& OutStream::operator<<(const D3DXVECTOR3& v) {
  return *this << v.x << v.y << v.z;
}
OutStream& OutStream::operator<<(const D3DXMATRIX& m) {
  for (const auto& row : m.m)
    for (float f : row) *this << f;
  return *this;
}
OutStream& OutStream::operator<<(const ComponentHandle& h) {
  PutWords(h.words, 6);
  return *this;
}
OutStream& OutStream::operator<<(const D3DLIGHT8& light) {
  PutWords(&light, sizeof(light) / 4);
  return *this;
}
OutStream& OutStream::operator<<(const std::string& text) {
  out_.write(text.c_str(), static_cast<std::streamsize>(text.size() + 1));
  return *this;
}
OutStream& OutStream::operator<<(const std::u16string& text) {
  for (char16_t unit : text) {
    *this << static_cast<uint8_t>(unit & 0xff) << static_cast<uint8_t>(unit >> 8);
  }
  return *this << uint8_t{0} << uint8_t{0};
}
OutStream& OutStream::WriteObjectState(const FullStateRecord& record) {
  out_.write(reinterpret_cast<const char*>(record.bytes.data()), static_cast<std::streamsize>(record.bytes.size()));
  return *this;
}

OutStream& OutStream::operator<<(const SceneEvent& event) {
  *this << event.type;
  // Every event this system makes has a known type; anything else gets its type word only.
  const bool known = VisitSceneType(event.type, [&](auto code) {
    const auto& typed = static_cast<const SceneEventOf<decltype(code)::value>&>(event);
    detail::ForEachField(typed.fields, [&](const auto& field) { *this << field; });
  });
  if (!known) ReportUnknown("scene", event.type);
  return *this;
}
OutStream& OutStream::operator<<(const ObjectEvent& event) {
  *this << event.type;
  const bool known = VisitObjectType(event.type, [&](auto code) {
    const auto& typed = static_cast<const ObjectEventOf<decltype(code)::value>&>(event);
    detail::ForEachField(typed.fields, [&](const auto& field) { *this << field; });
  });
  if (!known) ReportUnknown("object", event.type);
  return *this;
}

// ---- InStream -------------------------------------------------------------------------------------

void InStream::Take(void* bytes, size_t count, const char* what) {
  in_.read(static_cast<char*>(bytes), static_cast<std::streamsize>(count));
  const auto got = static_cast<size_t>(in_.gcount());
  if (got != count) {
    offset_ += got;
    Fail(std::string("the file ends inside ") + what);
  }
  offset_ += count;
}
void InStream::TakeWords(void* words, size_t count, const char* what) {
  auto* out = static_cast<uint8_t*>(words);
  for (size_t i = 0; i < count; ++i) {
    uint8_t bytes[4];
    Take(bytes, 4, what);
    const uint32_t v = LoadLe32(bytes);
    std::memcpy(out + 4 * i, &v, 4);
  }
}

InStream& InStream::operator>>(uint8_t& v) {
  Take(&v, 1, "a byte field");
  return *this;
}
InStream& InStream::operator>>(uint32_t& v) {
  TakeWords(&v, 1, "a 32-bit field");
  return *this;
}
InStream& InStream::operator>>(int32_t& v) {
  TakeWords(&v, 1, "a 32-bit field");
  return *this;
}
InStream& InStream::operator>>(float& v) {
  TakeWords(&v, 1, "a 32-bit field");
  return *this;
}
InStream& InStream::operator>>(D3DXVECTOR3& v) {
  TakeWords(&v, 3, "a vector");
  return *this;
}
InStream& InStream::operator>>(D3DXMATRIX& m) {
  TakeWords(&m, 16, "a matrix");
  return *this;
}
InStream& InStream::operator>>(ComponentHandle& h) {
  TakeWords(h.words, 6, "a handle");
  return *this;
}
InStream& InStream::operator>>(D3DLIGHT8& light) {
  TakeWords(&light, sizeof(light) / 4, "a light record");
  return *this;
}
InStream& InStream::ReadString(std::string& text) {
  text.clear();
  for (;;) {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) Fail("the file ends inside a string");
    ++offset_;
    if (c == 0) return *this;
    text.push_back(static_cast<char>(c));
  }
}
InStream& InStream::operator>>(std::u16string& text) {
  text.clear();
  for (;;) {
    uint8_t bytes[2];
    Take(bytes, 2, "a wide string");
    const auto unit = static_cast<char16_t>(bytes[0] | bytes[1] << 8);
    if (unit == 0) return *this;
    text.push_back(unit);
  }
}
InStream& InStream::operator>>(FullStateRecord& record) {
  Take(record.bytes.data(), record.bytes.size(), "a full-state record");
  return *this;
}

InStream& InStream::operator>>(SceneEvent*& event) {
  uint32_t type = 0;
  *this >> type;
  event = nullptr;
  const bool known = VisitSceneType(type, [&](auto code) {
    typename SceneEventOf<decltype(code)::value>::Fields fields;
    detail::ForEachField(fields, [&](auto& field) { *this >> field; });
    event = new SceneEventOf<decltype(code)::value>(std::move(fields));
  });
  if (!known) Fail("InStream::operator >>: unexpected scene type");
  return *this;
}
InStream& InStream::operator>>(ObjectEvent*& event) {
  uint32_t type = 0;
  *this >> type;
  event = nullptr;
  const bool known = VisitObjectType(type, [&](auto code) {
    typename ObjectEventOf<decltype(code)::value>::Fields fields;
    detail::ForEachField(fields, [&](auto& field) { *this >> field; });
    event = new ObjectEventOf<decltype(code)::value>(std::move(fields));
  });
  if (!known) Fail("InStream::operator >>: unexpected object type");
  return *this;
}

}  // namespace Playback
