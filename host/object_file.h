// The object file a "Renderable" loads (message 400000 names it, "resource\ini\objects\<id>.ini"
// by default): an INI file of the host's own format, read through the INI service.
//
//   [object]
//   height=1.75                          model height (units), 0 or more
//   box=-0.4,0,-0.3,0.4,1.8,0.3          box minimum x, y, z, then maximum x, y, z
//   radius=1.2                           bounding radius, 0 or more
//   part=body                            the model's parts, in order (any number, may be none)
//   bone=head,1,0,0,0,0,1,0,0,0,0,1,0,0,1.6,0,1
//                                        a bone: name, then its 4x4 matrix row by row (row 3 the
//                                        position); in order, any number
//   parameter=lhandModel,hand003         a parameter: key, then its value (the rest of the line)
//
// height, box and radius must be there; every number must be finite, the box's minimum not above
// its maximum, names not empty. A file that breaks any of this is refused whole. Keys this
// reader does not know are left to features that add them, in this section or in sections of
// their own.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "d3d8/d3d8types.h"
#include "frame/host_interfaces.h"

namespace host {

struct ObjectBone {
  std::string name;
  D3DMATRIX matrix{};
};

struct ObjectParameter {
  std::string key;
  std::string value;
};

struct ObjectFile {
  float height = 0.0f;
  float boxMin[3] = {0, 0, 0};
  float boxMax[3] = {0, 0, 0};
  float radius = 0.0f;
  std::vector<std::string> parts;
  std::vector<ObjectBone> bones;
  std::vector<ObjectParameter> parameters;
};

// Every value of a key of a section, in order; false when one is too long to be read whole.
bool ReadKeyLines(IIniFile* ini, const char* section, const char* key, std::vector<std::string>* out);
// Reads an object file from an opened INI file; false with the reason in `error` when it is
// malformed (then `out` is left as it was).
bool ReadObjectFile(IIniFile* ini, ObjectFile* out, std::string* error);
// The same from the text of a file.
bool ParseObjectFile(std::string_view text, ObjectFile* out, std::string* error);
// The text of an object file; it reads back as the same file.
std::string WriteObjectFile(const ObjectFile& file);

}  // namespace host
