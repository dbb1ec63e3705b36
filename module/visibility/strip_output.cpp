#include "visibility/strip_output.h"

StripOutput::~StripOutput() { delete[] indices; }

void StripOutput::Allocate(uint32_t groupType, uint32_t indexCount) {
  delete[] indices;
  type = groupType;
  count = indexCount;
  indices = indexCount ? new uint16_t[indexCount] : nullptr;
}
