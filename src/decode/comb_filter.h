// The comb filter: a line deinterlacer for the luma of tall (480 lines and
// more) pictures. Settings are process-wide and chosen once; every decoder
// writes the same values.
#pragma once
#include <cstdint>

// Processor feature flags; the only one consulted is SSE2.
inline constexpr uint32_t kCpuFeatureSse2 = 0x4000;
uint32_t DetectCpuFeatures();

// mode 0 or 1: planar 8-bit luma; mode 2: the low byte of each 16-bit pair
// (the luma of YUY2 data; the pitch then counts two-byte pixels). weight and
// threshold tune the comb metric. Returns 0, or 1 for a mode outside 0..2
// (the settings stay as they were).
int InitCombFilter(int mode, int weight, int threshold);

// Filters lines 1, 3, 5, ... up to height - 3 of plane in place, over the
// whole pitch, with the variant InitCombFilter selected.
void ApplyCombFilter(int pitch, int height, uint8_t* plane);

// The scalar model of the SSE2 variant with the current settings: the same
// bytes, the same lane arithmetic. ApplyCombFilter uses it on processors
// without SSE2; tests compare the two.
void ApplyCombFilterScalar(int pitch, int height, uint8_t* plane);
