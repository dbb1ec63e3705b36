// The free functions of the scene's passes: the comparator that sorts the scene objects and the
// draw hooks the passes put into a model's draw context. A hook runs before (or after) each
// sub-mesh with the sub-mesh's record and the model's texture table and sets the texture stages
// for its render style.
#pragma once
#include "frame/host_services.h"

// qsort comparator over two scene-object handles: by sort key, nearest first. A handle that no
// longer resolves compares greater, so dead objects gather at the end.
int CompareObjectsByKey(const void* a, const void* b);

void BlendDrawHook(const HostSubsetRecord* subset, const int* textures);
void DecalDrawHook(const HostSubsetRecord* subset, const int* textures);
void LightmapDrawHook(const HostSubsetRecord* subset, const int* textures);
void VideoDrawHook(const HostSubsetRecord* subset, const int* textures);
void ReflectionDrawHook(const HostSubsetRecord* subset, const int* textures);
void ReflectionDrawEndHook(const HostSubsetRecord* subset, const int* textures);
void DiffAddRefDrawHook(const HostSubsetRecord* subset, const int* textures);
void DiffAddRefDrawEndHook(const HostSubsetRecord* subset, const int* textures);
