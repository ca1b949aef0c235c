// libzelvadec: an H.264 decoder object behind one exported entry point.
//
//   IH264DecoderDll* dec = nullptr;
//   CreateVDecoder(&dec);               // nonzero on success
//   ZvOpenInfo info{};  info.size_bytes = sizeof info;  info.flags = kZvOpenUnitInput;
//   dec->Open(payload, payload_len, &info);   // coded size -> info
//   for each start-code-delimited unit of each payload:
//     ZvDecodeIo io{unit, unit_len};
//     dec->Decode(&io);                  // io.y != null: a picture is ready
//   dec->Release();
//
// Frame records of platform 162 carry this layout (offsets in bytes):
//
//   record  0..31   media frame header
//   record 32..79   frame descriptor (ZvFrameDescriptor): informational,
//                   skipped by readers; the library never sees it
//   record 80..     payload, handed to Open and, unit by unit, to Decode:
//     payload  0..19   reserved, written as 0xFF, ignored
//     payload 20..51   marker block: the 32 ASCII bytes of kZvMarkerBlock
//     payload 52..     H.264 Annex-B units (each starting with 00 00 01 or
//                      00 00 00 01)
//
// A client overwrites payload bytes 20..51 with kZvMarkerBlock before
// decoding, so a damaged marker in transit does not matter. Neither the
// reserved bytes nor the marker contain a zero byte, so a start-code scan
// from payload offset 0 finds the first Annex-B unit at offset 52 or later;
// the first unit a client cuts from a payload therefore starts with the 52
// prefix bytes. Decode accepts two kinds of unit:
//   - a unit that begins with a start code;
//   - a unit that begins with the 52-byte payload prefix, whose marker block
//     must match kZvMarkerBlock (otherwise Decode fails).
// Open requires the marker as well.
//
// Output planes are 4:2:0 and belong to the decoder: luma pitch = coded
// width + 32, chroma pitch = (coded width + 32) / 2, coded height rows of
// luma and (coded height + 1) / 2 rows of chroma. The 32 extra columns are
// padding the caller may process (for example a line filter over the whole
// pitch) and may modify; the planes stay valid until the next Decode, Open
// or Release. The coded size is the displayed picture size (after the
// stream's cropping).
#pragma once
#include <cstddef>
#include <cstdint>

// Open's information record (40 bytes).
struct ZvOpenInfo {
  uint32_t size_bytes;     //  0: sizeof(ZvOpenInfo), set by the caller
  uint32_t reserved0;      //  4
  uint16_t coded_width;    //  8: set by Open
  uint16_t coded_height;   // 10: set by Open
  uint32_t reserved1[2];   // 12
  uint32_t flags;          // 20: kZvOpenUnitInput, set by the caller
  uint32_t reserved2[4];   // 24
};
static_assert(sizeof(ZvOpenInfo) == 40);
static_assert(offsetof(ZvOpenInfo, coded_width) == 8 && offsetof(ZvOpenInfo, coded_height) == 10);
static_assert(offsetof(ZvOpenInfo, flags) == 20);

// The caller feeds start-code-delimited units and reads padded planes: the
// only mode this library offers; Open fails without it.
inline constexpr uint32_t kZvOpenUnitInput = 0x10000000;

// Decode's in/out record.
struct ZvDecodeIo {
  const uint8_t* data;  // in: one unit
  int32_t length;       // in: its length in bytes
  uint8_t* y;           // out: luma plane, null while no picture is ready
  uint8_t* u;           // out: Cb plane
  uint8_t* v;           // out: Cr plane
};

inline constexpr size_t kZvReservedBytes = 20;
inline constexpr size_t kZvMarkerOffset = 20;
inline constexpr size_t kZvMarkerBytes = 32;
inline constexpr size_t kZvPrefixBytes = kZvMarkerOffset + kZvMarkerBytes;  // Annex-B data starts here
inline constexpr uint8_t kZvReservedFill = 0xFF;
// Exactly 32 characters, no terminating zero in the block.
inline constexpr char kZvMarkerBlock[kZvMarkerBytes + 1] = "ZelvaDec H.264 payload marker v1";

// Bytes 32..79 of a platform-162 frame record, little-endian fields.
inline constexpr size_t kZvFrameDescriptorBytes = 48;
struct ZvFrameDescriptor {
  char tag[4];             // "ZVFD"
  uint16_t version;        // 1
  uint16_t width;          // picture width
  uint16_t height;         // picture height
  uint16_t reserved0;
  uint32_t sequence;       // frame number within the stream
  uint32_t annexb_bytes;   // payload bytes after the prefix
  uint8_t reserved1[28];   // zero
};
static_assert(sizeof(ZvFrameDescriptor) == kZvFrameDescriptorBytes);

// The decoder object. Virtual operations in slot order; the object is
// destroyed by Release, never by delete.
class IH264DecoderDll {
 public:
  // Starts a stream from the payload of its first key picture (prefix
  // included). Stores the coded width and height into info. Nonzero on
  // success. May be called again to restart.
  virtual int32_t Open(const uint8_t* data, int32_t length, ZvOpenInfo* info) = 0;  // slot 0
  // Decodes one unit. Nonzero when the unit was accepted; io->y/u/v point
  // at the picture the unit completed, or y is null.
  virtual int32_t Decode(ZvDecodeIo* io) = 0;  // slot 1
  // Destroys the object. Returns 1.
  virtual int32_t Release() = 0;  // slot 2

 protected:
  ~IH264DecoderDll() = default;
};

extern "C" {
// Stores a new decoder object in *object and returns 1; stores null and
// returns 0 when none can be made.
__attribute__((visibility("default"))) int32_t CreateVDecoder(IH264DecoderDll** object);
}
