// What the reference host's OBJ readers (the mesh object's and the tree build input's) refuse
// before the OBJ parser sees the text. The parser reads "nan" and "inf" as 0 and a number past a
// float's range as infinity, and splits a face of n corners in time that grows as n squared; so:
//
//   - every number on a "v", "vn" or "vt" line (up to a "#") is finite and within a float's
//     range: a word spelling a number ("1.5", "-2e3", "nan", "inf", "Infinity") is read as one,
//     any other word is left to the parser;
//   - a face ("f" line) has at most kMaxObjFaceCorners corners.
//
// Lines end at "\n", "\r\n" or a lone "\r", as the parser counts them.
#pragma once
#include <string>
#include <string_view>

namespace host {

inline constexpr size_t kMaxObjFaceCorners = 4096;

// Empty when the text holds to the rules above; otherwise the first offending line's number and
// what is wrong on it: "line 3: \"nan\" is not a finite number".
std::string ObjTextProblem(std::string_view text);

}  // namespace host
