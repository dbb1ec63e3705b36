// Object events: things done to one scene object, kept per object in a movie track and replayed
// on the object a player made for it. Shared and immutable like scene events.
#pragma once
#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <tuple>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_handle.h"
#include "playback/event_payload.h"
#include "playback/movie_stream.h"

class CSceneSystem;
class CSceneBaseObj;

namespace Playback {

enum ObjectEventType : uint32_t {
  kObjectShutdown = 0,
  kObjectLoadFromIni = 1,
  kObjectHostParameter = 2,
  kObjectSetTitle = 3,
  kObjectFullState = 4,
  kObjectSetPositionAction = 5,
  kObjectSetPositionState = 6,
  kObjectSetTransform = 7,
  kObjectPlayAnimationRequest = 8,
  kObjectMoveTo = 9,
  kObjectSetFlag716 = 10,
  kObjectAddChildId = 11,
  kObjectRemoveChildId = 12,
  kObjectSetTag = 13,
  kObjectPlayEffect = 14,
  kObjectRemoveEffectsByName = 15,
  kObjectHostParameterSet = 16,
  kObjectSetScale = 17,
  kObjectSetValue352 = 18,
  kObjectRegisterAnimationEvents = 19,
  kObjectSetLinkedHandle = 20,
  kObjectSetHeightOffset = 21,
  kObjectSetUserData = 22,
};
inline constexpr uint32_t kObjectEventTypeCount = 23;

class ObjectEvent : public boost::enable_shared_from_this<ObjectEvent> {
 public:
  explicit ObjectEvent(uint32_t eventType) : type(eventType) {}
  virtual ~ObjectEvent();                                                  // slot 0
  virtual void Apply(CSceneSystem* scene, CSceneBaseObj* object) const = 0;  // slot 1

  const uint32_t type;
};
using ObjectEventPtr = boost::shared_ptr<const ObjectEvent>;

template <uint32_t Code>
struct ObjectPayload;
#define FOOTLIGHT_OBJECT_PAYLOAD(code, name, ...)          \
  template <>                                              \
  struct ObjectPayload<code> {                             \
    using Fields = std::tuple<__VA_ARGS__>;                \
    static constexpr const char* kName = name;             \
  }
FOOTLIGHT_OBJECT_PAYLOAD(kObjectShutdown, "Shutdown");
FOOTLIGHT_OBJECT_PAYLOAD(kObjectLoadFromIni, "LoadFromIni", uint32_t, uint8_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectHostParameter, "HostParameter", std::string, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetTitle, "SetTitle", std::u16string, uint32_t, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectFullState, "FullState", FullStateRecord);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetPositionAction, "SetPositionAction", D3DXVECTOR3, float, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetPositionState, "SetPositionState", D3DXVECTOR3, float, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetTransform, "SetTransform", D3DXMATRIX, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectPlayAnimationRequest, "PlayAnimationRequest", std::string, uint8_t, float, uint32_t,
                         float, float, float, uint32_t);
// x, z, yaw, MoveTo's fourth and fifth arguments (move speed, then turn speed), action, arrival.
FOOTLIGHT_OBJECT_PAYLOAD(kObjectMoveTo, "MoveTo", float, float, float, float, float, uint32_t, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetFlag716, "SetFlag716", uint8_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectAddChildId, "AddChildId", uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectRemoveChildId, "RemoveChildId", uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetTag, "SetTag", uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectPlayEffect, "PlayEffect", std::string, std::string, uint32_t, uint32_t);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectRemoveEffectsByName, "RemoveEffectsByName", std::string);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectHostParameterSet, "HostParameterSet", int32_t, float, float, float);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetScale, "SetScale", float);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetValue352, "SetValue352", D3DLIGHT8);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectRegisterAnimationEvents, "RegisterAnimationEvents");
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetLinkedHandle, "SetLinkedHandle", ComponentHandle);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetHeightOffset, "SetHeightOffset", float);
FOOTLIGHT_OBJECT_PAYLOAD(kObjectSetUserData, "SetUserData", uint32_t, uint32_t);
#undef FOOTLIGHT_OBJECT_PAYLOAD

template <uint32_t Code>
class ObjectEventOf final : public ObjectEvent {
 public:
  using Fields = typename ObjectPayload<Code>::Fields;
  explicit ObjectEventOf(Fields payload) : ObjectEvent(Code), fields(std::move(payload)) {}
  void Apply(CSceneSystem* scene, CSceneBaseObj* object) const override;

  const Fields fields;
};

template <uint32_t Code, class... Args>
ObjectEventPtr MakeObjectEvent(Args&&... args) {
  return detail::MakeEvent<ObjectEventOf, Code>(std::forward<Args>(args)...);
}

template <class F>
bool VisitObjectType(uint32_t code, F&& f) {
  return detail::VisitType<kObjectEventTypeCount>(code, std::forward<F>(f));
}

inline const char* ObjectEventName(uint32_t code) {
  return detail::TypeName<ObjectPayload, kObjectEventTypeCount>(code);
}

// Titles travel as UTF-16 units; the object keeps wchar_t text. Unpaired surrogates pass as
// they are, both ways; a character beyond Unicode becomes U+FFFD.
inline std::u16string WideToUtf16(const wchar_t* text) {
  std::u16string units;
  for (; text != nullptr && *text != 0; ++text) {
    const auto c = static_cast<uint32_t>(*text);
    if (c >= 0x10000 && c <= 0x10ffff) {
      units.push_back(static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff)));
    } else {
      units.push_back(c > 0x10ffff ? u'\xfffd' : static_cast<char16_t>(c));
    }
  }
  return units;
}
inline std::wstring Utf16ToWide(const std::u16string& units) {
  std::wstring text;
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xd800 && u < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000) {
      text.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xd800) << 10) + (units[i + 1] - 0xdc00)));
      ++i;
    } else {
      text.push_back(static_cast<wchar_t>(u));
    }
  }
  return text;
}

}  // namespace Playback
