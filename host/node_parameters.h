// The parameters of a "RenderableNode": its own triple of floats (index -1) and a list of
// indexed triples, all 0 until set. Tests give a node as many indices as they need (`indexed`)
// and read back what a replay set; an index outside -1 to count - 1 is refused.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "frame/renderable_parameters.h"

namespace host {

class NodeParameters final : public IRenderableNodeParameters {
 public:
  using Triple = std::array<float, 3>;

  int32_t GetParameterCount() override { return static_cast<int32_t>(indexed.size()); }
  bool GetParameter(int32_t index, float* a, float* b, float* c) override;
  bool SetParameter(int32_t index, float a, float b, float c) override;

  Triple own{0.0f, 0.0f, 0.0f};
  std::vector<Triple> indexed;
  int sets = 0;  // accepted SetParameter calls

 private:
  Triple* At(int32_t index);
};

}  // namespace host
