// The host objects that carry a scene's effects, sounds and shader effects. Each is a recording
// object (host/generic_object.h): every message is kept, those below are also answered.
//
// - "ActiveEffect": 600000 "lscciffls" (name, position, direction, owner, two scales, mode,
//   attach name or NULL) starts an effect and answers its id, 1 for the first and one more for
//   each after; the live effects keep their decoded fields. 600001 "llp" gives a live effect its
//   matrix; 600002 "ll" ends one (an unknown id changes nothing).
// - "Sound": 77014 "ls" answers the id of a sound name, the same id for the same name, 1 for the
//   first name and one more for each new one; 77016 "llcccl" plays the sound of an id, and every
//   play is kept. Other messages (the scene's state and channel messages) are kept as they came.
// - "ShaderDrawMain": 501003 "lspsplffllll" keeps each attack with its names and the handles the
//   pointers named. The module only finds this object, never makes it: the host makes one only
//   when told to (CreateShaderDrawMain), so that its absence can be seen.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/generic_object.h"

namespace host {

struct LiveEffect {
  int32_t id = 0;
  std::string name;
  D3DVECTOR position{0, 0, 0};
  D3DVECTOR direction{0, 0, 0};
  ComponentHandle owner{};
  double scaleA = 0.0, scaleB = 0.0;
  int32_t mode = 0;
  std::string attach;
  bool attached = false;  // an attach name was given (not NULL)
  bool hasMatrix = false;
  D3DMATRIX matrix{};
};

class ActiveEffectObject final : public RecordingObject {
 public:
  using RecordingObject::RecordingObject;
  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;

  // The live effect of an id; null when there is none.
  const LiveEffect* Find(int32_t id) const;
  std::vector<LiveEffect> live;
  std::vector<int32_t> removed;  // ids ended, in order
  int32_t nextId = 1;
};

struct SoundPlay {
  int32_t id = 0;
  std::string name;  // the name the id stands for; empty for an id never given
  int32_t last = 0;
};

class SoundObject final : public RecordingObject {
 public:
  using RecordingObject::RecordingObject;
  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;

  std::vector<std::string> names;  // id - 1 -> name
  std::vector<SoundPlay> plays;
};

struct ShaderAttack {
  std::string name;
  std::string secondName;
  ComponentHandle node{};    // what the first pointer named
  ComponentHandle linked{};  // what the second pointer named
  std::vector<double> values;  // the seven numbers after the second pointer, in order
};

class ShaderDrawMainObject final : public RecordingObject {
 public:
  using RecordingObject::RecordingObject;
  int OnMessage(const RecordedMessage& message, const MessageArg* raw) override;

  std::vector<ShaderAttack> attacks;
};

// Registers "ActiveEffect", "Sound" and "ShaderDrawMain" in place of their plain recording
// classes.
void RegisterEffectClasses(ReferenceHost& host);
// Makes the one "ShaderDrawMain" object; its handle, or a zero handle when it cannot be made.
ComponentHandle CreateShaderDrawMain(ReferenceHost& host);

}  // namespace host
