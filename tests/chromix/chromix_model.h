// Reference model of the conversions for tests: every pixel computed from the
// equations one at a time, with the geometry written out independently of
// the library (bottom-up RGB, top-down YUY2, floor(h / 2) row pairs, pixel x
// using chroma sample x / 2 of its row, the last one for a pixel beyond it).
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace chromix_test {

enum class Fmt { kRgb565, kRgb24, kRgb32, kYuy2 };
inline int BytesPerPixel(Fmt f) { return f == Fmt::kRgb24 ? 3 : (f == Fmt::kRgb32 ? 4 : 2); }

// Chroma samples one row of a picture holds: (w + 1) / 2, but rows are only
// pitch / 2 apart, so when the pitch equals an odd width the row is one
// sample shorter and its last pixel reuses the row's last sample. A chroma
// pitch of 0 (pitch 1) leaves the single sample every row shares.
inline int ChromaRowSamples(int w, int pitch) { return std::min((w + 1) / 2, std::max(pitch / 2, 1)); }

// Planes of exactly the size the picture's layout gives (luma: h rows of
// `pitch`, the last one w bytes; chroma: floor(h / 2) rows, at least one, of
// pitch / 2, the last one ChromaRowSamples bytes), each in an allocation of
// its own, so that the sanitizer build catches any read past them.
struct Picture {
  int w, h, pitch;
  std::vector<uint8_t> y, u, v;
  Picture(int w_, int h_, int pitch_, uint32_t seed) : w(w_), h(h_), pitch(pitch_) {
    const int cpitch = pitch / 2, crows = std::max(h / 2, 1);
    y.resize(static_cast<size_t>((h - 1) * pitch + w));
    u.resize(static_cast<size_t>((crows - 1) * cpitch + ChromaRowSamples(w, pitch)));
    v.resize(u.size());
    std::mt19937 rng(seed);
    for (auto* p : {&y, &u, &v}) {
      p->shrink_to_fit();
      for (auto& b : *p) b = static_cast<uint8_t>(rng());
    }
  }
  void Fill(uint8_t ly, uint8_t cu, uint8_t cv) {
    std::fill(y.begin(), y.end(), ly);
    std::fill(u.begin(), u.end(), cu);
    std::fill(v.begin(), v.end(), cv);
  }
};

struct Rgb {
  int r, g, b;
};

inline int Clip(int x) { return std::clamp(x, 0, 255); }

inline Rgb PlainPixel(int y, int u, int v) {
  const int cr_r = (91881 * v - 11728000) >> 16, cb_b = (116130 * u - 14831872) >> 16;
  const int g = ((2919680 - 22554 * u) + (5990656 - 46802 * v)) >> 16;
  return {Clip(y + cr_r), Clip(y + g), Clip(y + cb_b)};
}

inline Rgb LanePixel(bool set_b, int y, int u, int v) {
  const int ky = set_b ? 9535 : 9576, kr = set_b ? 13074 : 13123, kgu = set_b ? -3203 : -3218,
            kgv = set_b ? -6660 : -6686, kb = set_b ? 16531 : 16591;
  auto mulhi = [](int a, int k) { return (a * k) >> 16; };
  auto sat = [](int x) { return std::clamp(x, -32768, 32767); };
  const int yl = mulhi(std::max(y - 16, 0) * 8, ky), ul = (u - 128) * 8, vl = (v - 128) * 8;
  return {Clip(sat(yl + mulhi(vl, kr))), Clip(sat(yl + sat(mulhi(ul, kgu) + mulhi(vl, kgv)))),
          Clip(sat(yl + mulhi(ul, kb)))};
}

// The whole output buffer (width x height x bytes per pixel) a conversion of
// `pic` should leave in a zeroed buffer.
inline std::vector<uint8_t> Expected(Fmt f, bool lanes, const Picture& pic) {
  const int bpp = BytesPerPixel(f);
  std::vector<uint8_t> out(static_cast<size_t>(pic.w) * pic.h * bpp, 0);
  for (int s = 0; s < pic.h / 2 * 2; ++s) {
    const int row = f == Fmt::kYuy2 ? s : pic.h - 1 - s;
    uint8_t* o = out.data() + static_cast<size_t>(row) * pic.w * bpp;
    for (int x = 0; x < pic.w; ++x) {
      const int c = s / 2 * (pic.pitch / 2) + std::min(x / 2, ChromaRowSamples(pic.w, pic.pitch) - 1);
      const int Y = pic.y[s * pic.pitch + x], U = pic.u[c], V = pic.v[c];
      if (f == Fmt::kYuy2) {
        o[2 * x] = static_cast<uint8_t>(Y);
        o[2 * x + 1] = static_cast<uint8_t>(x % 2 ? V : U);
        continue;
      }
      const Rgb p = lanes ? LanePixel(f == Fmt::kRgb32, Y, U, V) : PlainPixel(Y, U, V);
      if (f == Fmt::kRgb565) {
        const int w = ((p.r >> 3) << 11) | ((p.g >> 2) << 5) | (p.b >> 3);
        o[2 * x] = static_cast<uint8_t>(w & 0xFF);
        o[2 * x + 1] = static_cast<uint8_t>(w >> 8);
      } else {
        o[bpp * x] = static_cast<uint8_t>(p.b);
        o[bpp * x + 1] = static_cast<uint8_t>(p.g);
        o[bpp * x + 2] = static_cast<uint8_t>(p.r);
      }
    }
  }
  return out;
}

}  // namespace chromix_test
