/* libvoiceengine: the voice codec the DVRs of platform 164 use for talk and
 * for channel audio (audio codec 19, talk codec 150).
 *
 *   HI_VOICE_STATE dec;                  // caller-owned, opaque
 *   HI_VOICE_DecReset(&dec, HI_VOICE_MODE_FRAMED_G726);
 *   int16_t len = payload_len;           // in: bytes available
 *   HI_VOICE_DecodeFrame(&dec, payload, pcm, &len);   // out: samples
 *
 * Codec mode 38 (the only one) is G.726 at 32 kbit/s in frames. A frame is a
 * 4-byte frame header followed by the codes:
 *
 *   byte 0     0x00
 *   byte 1     0x01   (audio frame)
 *   bytes 2-3  number of 16-bit words of code data that follow, u16
 *              little-endian (80 for a 320-sample frame)
 *   bytes 4..  the codes, two per byte, the earlier sample in the low nibble
 *
 * so one 320-sample frame encodes to exactly 164 bytes (4 + 160). A frame
 * holds at most HI_VOICE_MAX_FRAME_SAMPLES samples. Encoder and decoder keep
 * their G.726 state across frames, from one reset to the next.
 *
 * Every call returns HI_VOICE_SUCCESS or a negative HI_VOICE_ERR_* value; on
 * error nothing is written and the state is unchanged.
 */
#ifndef TAVREL_VOICEENGINE_H
#define TAVREL_VOICEENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HI_VOICE_MODE_FRAMED_G726 38
#define HI_VOICE_FRAME_HEADER_BYTES 4
#define HI_VOICE_MAX_FRAME_SAMPLES 8000

#define HI_VOICE_SUCCESS 0
#define HI_VOICE_ERR_MODE (-1)   /* a mode other than 38, or a state never reset */
#define HI_VOICE_ERR_PARAM (-2)  /* null pointer, or a sample count that is not 4..8000 in steps of 4 */
#define HI_VOICE_ERR_FRAME (-3)  /* bad frame header, or fewer bytes than the header announces */

/* Storage for one encoder or decoder state; its content is private. */
typedef struct HI_VOICE_STATE {
  int64_t opaque[16];
} HI_VOICE_STATE;

int HI_VOICE_DecReset(void* state, int16_t mode);
int HI_VOICE_EncReset(void* state, int16_t mode);

/* Decodes the frame at input. *length holds the bytes available on entry and
 * receives the number of samples written to output, which must have room for
 * HI_VOICE_MAX_FRAME_SAMPLES samples. Bytes after the frame are ignored. */
int HI_VOICE_DecodeFrame(void* state, const uint8_t* input, int16_t* output, int16_t* length);

/* Encodes `samples` samples (4..8000, a multiple of 4) into one frame of
 * 4 + samples / 2 bytes at output. */
int HI_VOICE_EncodeFrame(void* state, const int16_t* input, uint8_t* output, int16_t samples);

#ifdef __cplusplus
}
#endif

#endif
