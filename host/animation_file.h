// The reference host's animation text format: what "AnimationServiceImp" loads for a name that
// is a file below the resource root. One statement a line; blank lines and lines starting with
// '#' or ';' are skipped; words are separated by spaces or tabs.
//
//   node NAME [KIND]          a node of the tree; KIND (default 2) is what IAnimationNode::GetKind
//                             answers. A node named first by a key is declared with kind 2.
//   track NAME LENGTH         starts a track of LENGTH milliseconds (a whole number above 0)
//   key TIME NODE M11 .. M44  a key of the current track: at TIME ms (0 .. LENGTH) the world
//                             matrix of NODE is the 16 numbers, row-major, row 4 the position
//
// Names are unique within their kind (nodes, tracks) and compared exactly; a node's keys in a
// track stand in rising time. A node's matrix at time t of a track is the linear blend, element
// by element, of the keys either side of t; before the first key it is the first, after the last
// the last; a node without keys in the track is the identity.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"

namespace host {

// The largest animation file read.
inline constexpr uint64_t kAnimationFileMaxBytes = 16u << 20;

struct AnimationKey {
  int32_t timeMs = 0;
  D3DMATRIX matrix{};
};

struct AnimationTrack {
  std::string name;
  int32_t lengthMs = 0;
  // keys[node]: the keys of node index `node`, rising in time (empty: none).
  std::vector<std::vector<AnimationKey>> keys;
};

struct AnimationNodeInfo {
  std::string name;
  int32_t kind = 2;
};

struct AnimationClip {
  std::vector<AnimationNodeInfo> nodes;
  std::vector<AnimationTrack> tracks;

  int FindNode(const std::string& name) const;
  int FindTrack(const std::string& name) const;
  // The node's matrix on the track at the time (see above).
  D3DMATRIX Evaluate(int track, int node, float timeMs) const;
};

// False with "line N: reason" when the text breaks a rule above; `out` is then untouched.
bool ParseAnimationText(const std::string& text, AnimationClip* out, std::string* error);
// The clip as text that parses back into the same clip (numbers in shortest round-trip form).
std::string WriteAnimationText(const AnimationClip& clip);

}  // namespace host
