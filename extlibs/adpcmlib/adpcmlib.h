/* libadpcmlib: G.721 (ITU-T G.726 at 32 kbit/s) with 16-bit linear PCM.
 *
 *   int16_t pcm[2 * n];
 *   ADPCM_Decode(pcm, codes, n, ADPCM_MODE_G721);   // 2 * n samples
 *
 * Code layout: every byte holds two 4-bit codes, the first sample's code in
 * the low nibble (bits 0-3) and the second's in the high nibble (bits 4-7),
 * so byte k carries samples 2k and 2k + 1.
 *
 * Every call is one self-contained frame: the coder state starts from the
 * recommendation's initial values on each call, so frames decode alike in
 * any order and from any channel, and the library keeps no state between
 * calls (it is safe to call from several threads at once).
 */
#ifndef TAVREL_ADPCMLIB_H
#define TAVREL_ADPCMLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ADPCM_MODE_G721 2 /* the only mode: G.721, linear 16-bit samples */

/* Decodes in_len bytes into 2 * in_len samples at out. Returns the number of
 * samples written, or -1 for another mode, a negative length or a null
 * pointer with a non-zero length. */
int ADPCM_Decode(int16_t* out, const uint8_t* in, int in_len, int mode);

/* Encodes count samples into (count + 1) / 2 bytes at out; an odd count
 * leaves the last byte's high nibble zero. Returns the bytes written, or -1
 * as ADPCM_Decode. */
int ADPCM_Encode(uint8_t* out, const int16_t* in, int count, int mode);

#ifdef __cplusplus
}
#endif

#endif
