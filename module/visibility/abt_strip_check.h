// The render build's check of a stripifier strip against the faces it was made from.
#pragma once
#include <cstdint>
#include <vector>

// Whether the strip draws every face of the triangle list once with its winding and nothing more.
// A strip's triangle k is (i[k], i[k+1], i[k+2]), turned at every odd k; the degenerate ones that
// join and turn strips draw nothing, and a face the list gives twice is wanted once. Faces that
// share an edge with more than one other, or share it running the same way, can lead a strip to
// leave some out, draw one twice or make ones of its own.
bool AbtStripDrawsExactly(const std::vector<uint16_t>& triangles, const uint16_t* strip, uint32_t count);
