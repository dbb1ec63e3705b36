// The raw little-endian field writer and reader of movies. Every value goes field by field, with
// no padding, alignment or length prefix: a narrow string is its bytes and a NUL, a wide string
// its 16-bit units and a 0 unit. The reader counts the bytes it has taken, so a failure can say
// where in the file it happened.
#pragma once
#include <array>
#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_handle.h"

namespace Playback {

class SceneEvent;
class ObjectEvent;

// The 374 bytes of the FullState object event, kept in the order and byte form of the file.
// kFullStateFieldSizes gives its 39 fields; every field longer than a byte is made of 32-bit words.
inline constexpr uint16_t kFullStateFieldSizes[39] = {1, 4, 1, 28, 4, 1, 4, 4, 64, 64, 4, 12, 4,  4,
                                                      4, 4, 1, 4,  1, 4, 4, 4, 64, 1,  1, 12, 1, 12,
                                                      4, 1, 4, 4,  4, 4, 4, 4, 1,  4,  24};
inline constexpr size_t kFullStateBytes = 374;
struct FullStateRecord {
  std::array<uint8_t, kFullStateBytes> bytes{};
  friend bool operator==(const FullStateRecord&, const FullStateRecord&) = default;
};

// What went wrong while reading, and the byte offset from the start of the movie.
class MovieFormatError : public std::runtime_error {
 public:
  MovieFormatError(const std::string& reason, uint64_t offset) : std::runtime_error(reason), offset(offset) {}
  uint64_t offset;
};

class OutStream {
 public:
  explicit OutStream(std::ostream& out) : out_(out) {}

  OutStream& operator<<(uint8_t v);
  OutStream& operator<<(uint32_t v);
  OutStream& operator<<(int32_t v) { return *this << static_cast<uint32_t>(v); }
  OutStream& operator<<(float v);
  OutStream& operator<<(const D3DXVECTOR3& v);
  OutStream& operator<<(const D3DXMATRIX& m);
  OutStream& operator<<(const ComponentHandle& h);
  OutStream& operator<<(const D3DLIGHT8& light);
  OutStream& operator<<(const std::string& text);
  OutStream& operator<<(const std::u16string& text);
  OutStream& operator<<(const FullStateRecord& record) { return WriteObjectState(record); }
  // The u32 type, then the payload.
  OutStream& operator<<(const SceneEvent& event);
  OutStream& operator<<(const ObjectEvent& event);
  // The FullState record, field by field.
  OutStream& WriteObjectState(const FullStateRecord& record);

 private:
  void PutWords(const void* words, size_t count);
  std::ostream& out_;
};

// Every read fails with MovieFormatError: at the end of the stream, for a string without its
// end, for an unknown event type.
class InStream {
 public:
  explicit InStream(std::istream& in) : in_(in) {}

  InStream& operator>>(uint8_t& v);
  InStream& operator>>(uint32_t& v);
  InStream& operator>>(int32_t& v);
  InStream& operator>>(float& v);
  InStream& operator>>(D3DXVECTOR3& v);
  InStream& operator>>(D3DXMATRIX& m);
  InStream& operator>>(ComponentHandle& h);
  InStream& operator>>(D3DLIGHT8& light);
  InStream& operator>>(std::string& text) { return ReadString(text); }
  InStream& operator>>(std::u16string& text);
  InStream& operator>>(FullStateRecord& record);
  // A new event of the type read, or a failure for a type the system does not know. The caller
  // owns what it gets.
  InStream& operator>>(SceneEvent*& event);
  InStream& operator>>(ObjectEvent*& event);
  // Bytes up to and including a NUL; the string holds the bytes before it.
  InStream& ReadString(std::string& text);

  uint64_t Offset() const { return offset_; }
  [[noreturn]] void Fail(const std::string& reason) const { throw MovieFormatError(reason, offset_); }

 private:
  void Take(void* bytes, size_t count, const char* what);
  void TakeWords(void* words, size_t count, const char* what);
  std::istream& in_;
  uint64_t offset_ = 0;
};

}  // namespace Playback
