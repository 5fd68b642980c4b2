// Pairing two scanned stereo inputs and writing the combined output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "wav/wav.h"

// Bytes of each input the mixers take per block: a whole number of frames of either
// width. Below 256 KiB the system calls start to show in the run time; above it the
// three buffers grow past the core's cache for no measurable gain.
inline constexpr size_t kMixBlockBytes = size_t{256} << 10;

// Mono fold of one 8-bit frame: floor((a + b) / 2), silence at 128 stays 128.
inline uint8_t fold8(uint8_t a, uint8_t b) {
  return static_cast<uint8_t>((static_cast<unsigned>(a) + b) >> 1);
}

// Mono fold of one 16-bit frame: the sum in 32 bits, halved with an arithmetic shift,
// so odd negative sums round toward minus infinity.
inline int16_t fold16(int16_t a, int16_t b) {
  return static_cast<int16_t>((static_cast<int32_t>(a) + b) >> 1);
}

// Applies the pairing rules and puts the longer input (by data size) in slot 0;
// ties keep the command-line order. 0, or -1 after the rule's message.
int wavFormatCheck(const char* (&names)[2], WavInfo (&infos)[2]);

// Checks and orders the pair, creates outName and writes the header and the frames.
// Opens and closes every stream it uses. 0, or -1 after the failure's message.
int wavCombine(const char* (&names)[2], const char* outName, WavInfo (&infos)[2]);

// Positions both inputs at their audio and runs the mixer for the sample width.
// Prints nothing. 0 or -1.
int wavDataWrite(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]);

// Fold each frame of A (slot 0) and B (slot 1) into one output frame; once B's whole
// frames are used up, A's frame stands in for B's. 0, or -1 on a short read or write,
// after writing every frame before the first one that could not be read.
int wavMix8(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]);
int wavMix16(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]);
