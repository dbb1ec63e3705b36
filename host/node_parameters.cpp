#include "host/node_parameters.h"

#include <cstddef>

namespace host {

NodeParameters::Triple* NodeParameters::At(int32_t index) {
  if (index == -1) return &own;
  if (index < 0 || static_cast<size_t>(index) >= indexed.size()) return nullptr;
  return &indexed[static_cast<size_t>(index)];
}

bool NodeParameters::GetParameter(int32_t index, float* a, float* b, float* c) {
  const Triple* t = At(index);
  if (t == nullptr) return false;
  if (a != nullptr) *a = (*t)[0];
  if (b != nullptr) *b = (*t)[1];
  if (c != nullptr) *c = (*t)[2];
  return true;
}

bool NodeParameters::SetParameter(int32_t index, float a, float b, float c) {
  Triple* t = At(index);
  if (t == nullptr) return false;
  *t = Triple{a, b, c};
  ++sets;
  return true;
}

}  // namespace host
