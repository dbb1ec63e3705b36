// The editing and query interface of the terrain, the second base of CTerrainManager: height
// scale and block refresh, texture layers, picking and height sampling, and the height brush.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"

// A whole height field as the caller hands it to UpdateAllBlocks: 2049 x 2049 signed samples,
// X-major (sample (x, z) at x 2049 + z), and 64 x 64 patch bytes (patch (px, pz) at px 64 + pz,
// 1 = the patch exists).
struct TerrainHeightMap {
  const int16_t* heights = nullptr;
  const uint8_t* patches = nullptr;
};

class ITerrainEdit {
 public:
  virtual void SetWireframe(bool on) = 0;                                                  // slot 0
  virtual void EditSlot1() = 0;                                                                // slot 1
  virtual void EditSlot2() = 0;                                                                // slot 2
  virtual void SetName(const char* text) = 0;                                              // slot 3
  virtual int32_t AddLayer(const char* texture, const float* offset2, const float* scale2, bool fromFile) = 0;  // slot 4
  virtual void SetHeightScale(float scale) = 0;                                            // slot 5
  virtual bool UpdateAllBlocks(const TerrainHeightMap* map) = 0;                           // slot 6
  virtual bool EditSlot7(uint32_t arg) = 0;                                                    // slot 7
  virtual bool EditSlot8(uint32_t arg) = 0;                                                    // slot 8
  virtual bool EditSlot9(uint32_t arg) = 0;                                                    // slot 9
  virtual float Pick(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* normalOut) = 0;  // slot 10
  // point: in x and z, out y.
  virtual bool SampleHeight(D3DXVECTOR3* point, D3DXVECTOR3* normalOut) = 0;              // slot 11
  virtual int16_t GetHeightAt(int32_t i, int32_t j) = 0;                                   // slot 12
  virtual void SetHeightAt(int32_t i, int32_t j, int16_t h) = 0;                           // slot 13
  virtual void SelectUnderBrush(const float* weights, int32_t mouseX, int32_t mouseY) = 0;  // slot 14
  virtual void RaiseUnderBrush(int16_t amount) = 0;                                        // slot 15
  virtual void SetUnderBrush(int16_t value) = 0;                                           // slot 16
  virtual void FlushDirtyRegions() = 0;                                                    // slot 17
  virtual void SetBrushSize(int32_t w, int32_t h, int32_t hotX, int32_t hotZ) = 0;         // slot 18
  virtual void ShowBrush() = 0;                                                            // slot 19
  virtual void HideBrush() = 0;                                                            // slot 20
  virtual void SetBrushMask(const uint8_t* mask, int32_t maskW, int32_t maskH, const char* texture,
                            const float* offset2, const float* scale2, bool fromFile) = 0;  // slot 21
  virtual void BeginPickMode() = 0;                                                        // slot 22
  virtual int32_t ResetPick() = 0;                                                         // slot 23
  virtual void EditSlot24(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f) = 0;  // slot 24
  virtual void EditSlot25(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e) = 0;     // slot 25
  virtual bool EditSlot26(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;                 // slot 26

  bool m_bWireframe = false;
  bool m_bSelectionActive = false;

 protected:
  ~ITerrainEdit() = default;
};
