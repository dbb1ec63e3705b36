#include "playback/object_event.h"

#include "playback/host_parameters.h"
#include "playback/recording_scene_base_obj.h"
#include "scene/scene_system.h"

namespace Playback {

namespace {
int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }
}  // namespace

template <uint32_t Code>
void ObjectEventOf<Code>::Apply(CSceneSystem* scene, CSceneBaseObj* object) const {
  (void)scene;
  if (object == nullptr) return;
  const auto& f = fields;
  if constexpr (Code == kObjectShutdown) {
    if (auto* recording = dynamic_cast<SceneBaseObj*>(object)) recording->MarkDestroyed();
  } else if constexpr (Code == kObjectLoadFromIni) {
    object->LoadFromIni(std::get<0>(f), std::get<1>(f), 0, 0.0f);
  } else if constexpr (Code == kObjectHostParameter) {
    ApplyHostParameter(object, std::get<0>(f), Signed(std::get<1>(f)));
  } else if constexpr (Code == kObjectSetTitle) {
    const std::wstring text = Utf16ToWide(std::get<0>(f));
    object->SetTitle(text.c_str(), Signed(std::get<1>(f)), Signed(std::get<2>(f)), 1);
  } else if constexpr (Code == kObjectFullState) {
    if (auto* recording = dynamic_cast<SceneBaseObj*>(object)) recording->ApplyState(std::get<0>(f));
  } else if constexpr (Code == kObjectSetPositionAction) {
    object->SetPositionAction(&std::get<0>(f), std::get<1>(f), Signed(std::get<2>(f)));
  } else if constexpr (Code == kObjectSetPositionState) {
    object->SetPositionState(&std::get<0>(f), std::get<1>(f), Signed(std::get<2>(f)));
  } else if constexpr (Code == kObjectSetTransform) {
    object->SetTransform(&std::get<0>(f), Signed(std::get<1>(f)));
  } else if constexpr (Code == kObjectPlayAnimationRequest) {
    object->PlayAnimationRequest(std::get<0>(f).c_str(), std::get<1>(f), std::get<2>(f), Signed(std::get<3>(f)),
                                 std::get<4>(f), std::get<5>(f), std::get<6>(f), Signed(std::get<7>(f)));
  } else if constexpr (Code == kObjectMoveTo) {
    object->MoveTo(std::get<0>(f), std::get<1>(f), std::get<2>(f), std::get<3>(f), std::get<4>(f),
                   Signed(std::get<5>(f)), Signed(std::get<6>(f)), 0.0f);
  } else if constexpr (Code == kObjectSetFlag716) {
    object->SetIdleSuppressed(std::get<0>(f));
  } else if constexpr (Code == kObjectAddChildId) {
    object->AddChildId(Signed(std::get<0>(f)));
  } else if constexpr (Code == kObjectRemoveChildId) {
    object->RemoveChildId(Signed(std::get<0>(f)));
  } else if constexpr (Code == kObjectSetTag) {
    object->SetTag(Signed(std::get<0>(f)));
  } else if constexpr (Code == kObjectPlayEffect) {
    object->PlayEffect(std::get<0>(f).c_str(), std::get<1>(f).c_str(), Signed(std::get<2>(f)), Signed(std::get<3>(f)));
  } else if constexpr (Code == kObjectRemoveEffectsByName) {
    object->RemoveEffectsByName(std::get<0>(f).c_str());
  } else if constexpr (Code == kObjectHostParameterSet) {
    ApplyHostParameterSet(object, std::get<0>(f), std::get<1>(f), std::get<2>(f), std::get<3>(f));
  } else if constexpr (Code == kObjectSetScale) {
    object->SetScale(std::get<0>(f));
  } else if constexpr (Code == kObjectSetValue352) {
    // The object is given the record inside this event and keeps the event while it uses it;
    // an object that cannot keep it is given nothing.
    auto* recording = dynamic_cast<SceneBaseObj*>(object);
    if (recording == nullptr) return;
    const D3DLIGHT8& record = std::get<0>(f);
    if (static_cast<uint32_t>(record.Type) == 0) {
      recording->SetUserValueC(nullptr);
      recording->HoldRecord(ObjectEventPtr());
    } else {
      recording->HoldRecord(shared_from_this());
      recording->SetUserValueC(&record);
    }
  } else if constexpr (Code == kObjectRegisterAnimationEvents) {
    object->RegisterAnimationEvents();
  } else if constexpr (Code == kObjectSetLinkedHandle) {
    object->SetLinkedHandle(&std::get<0>(f));
  } else if constexpr (Code == kObjectSetHeightOffset) {
    object->SetHeightOffset(std::get<0>(f));
  } else if constexpr (Code == kObjectSetUserData) {
    object->SetHandNumbers(std::get<0>(f), std::get<1>(f));
  }
}

template class ObjectEventOf<kObjectShutdown>;
template class ObjectEventOf<kObjectLoadFromIni>;
template class ObjectEventOf<kObjectHostParameter>;
template class ObjectEventOf<kObjectSetTitle>;
template class ObjectEventOf<kObjectFullState>;
template class ObjectEventOf<kObjectSetPositionAction>;
template class ObjectEventOf<kObjectSetPositionState>;
template class ObjectEventOf<kObjectSetTransform>;
template class ObjectEventOf<kObjectPlayAnimationRequest>;
template class ObjectEventOf<kObjectMoveTo>;
template class ObjectEventOf<kObjectSetFlag716>;
template class ObjectEventOf<kObjectAddChildId>;
template class ObjectEventOf<kObjectRemoveChildId>;
template class ObjectEventOf<kObjectSetTag>;
template class ObjectEventOf<kObjectPlayEffect>;
template class ObjectEventOf<kObjectRemoveEffectsByName>;
template class ObjectEventOf<kObjectHostParameterSet>;
template class ObjectEventOf<kObjectSetScale>;
template class ObjectEventOf<kObjectSetValue352>;
template class ObjectEventOf<kObjectRegisterAnimationEvents>;
template class ObjectEventOf<kObjectSetLinkedHandle>;
template class ObjectEventOf<kObjectSetHeightOffset>;
template class ObjectEventOf<kObjectSetUserData>;

}  // namespace Playback
