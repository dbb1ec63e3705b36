// The objects a scene makes by a class name its files give: a model record's class object and
// the named scene effects. The name may be a host class, whose objects answer the scene-effect
// interface, or one of the module's own components, which answers only the component slots.
#pragma once
#include <cstdint>

#include "frame/component_handle.h"

// Makes the object; false when the host made none, or when the class is one of the scene's
// model classes ("modelr", "Renderable": logged, nothing made). A scene system or lighting
// system the new object brings with it does not become the one the module's scene objects and
// lights reach.
bool MakeSceneClassObject(ComponentHandle* out, const char* className);
// The object's step (slot 2) and draw (slot 3); nothing when the handle does not resolve.
void StepSceneClassObject(const ComponentHandle& handle, uint32_t elapsedMs);
void DrawSceneClassObject(const ComponentHandle& handle, uint32_t context);
// Switches a host effect object on or off (its slot 12); a component has no switch and is left
// as it is. False when the handle does not resolve.
bool SwitchSceneClassObject(const ComponentHandle& handle, int32_t on);
