// XviD's process-wide set-up, shared by the MPEG-4 decoder and by the
// YUY2 packing of the libavcodec H.264 decoder.
#pragma once

namespace decode_detail {

// Initialises XviD once per process: its colour-space tables and the
// processor-specific routines. Safe to call from any thread.
void EnsureXvidInitialised();

}  // namespace decode_detail
