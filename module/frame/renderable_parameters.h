// The parameters of a renderable's root node as the module reads and sets them: a count of
// indexed triples of floats, and index -1 for the node's own triple. Replays of recorded node
// parameters set them; the recording object reads them to notice changes.
#pragma once
#include <cstdint>

class IRenderableNodeParameters {
 public:
  // Indices 0 to count - 1 hold triples; -1 is the node's own.
  virtual int32_t GetParameterCount() = 0;                                    // slot 0
  // False, with the outputs untouched, for an index outside -1 to count - 1.
  virtual bool GetParameter(int32_t index, float* a, float* b, float* c) = 0;  // slot 1
  virtual bool SetParameter(int32_t index, float a, float b, float c) = 0;     // slot 2

 protected:
  ~IRenderableNodeParameters() = default;
};
