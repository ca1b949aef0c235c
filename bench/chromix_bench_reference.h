// libswscale set up as the reference of ToYuy2: yuv420p to yuyv422 at the
// same size with point sampling, so that each chroma row serves the two
// output rows beside it, as in ToYuy2. Bilinear scaling would interpolate
// between chroma rows: other work, other bytes. The benchmark times this
// context and a test checks that it gives ToYuy2's bytes.
#pragma once
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

inline SwsContext* MakeYuy2Reference(int width, int height) {
  return sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_YUYV422, SWS_POINT, nullptr,
                        nullptr, nullptr);
}
