// Pairing two scanned stereo inputs and writing the combined output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "wav/wav.h"

// Bytes of each input the mixers take per block: a whole number of frames of either
// width. Below 256 KiB the system calls start to show in the run time; above it the
// three buffers grow past the core's cache for no measurable gain. In the browser each
// read of a chosen file has a large fixed cost, so its build sets 8 MiB instead.
#ifndef WAVPAIR_BLOCK_KIB
#define WAVPAIR_BLOCK_KIB 256
#endif
inline constexpr size_t kMixBlockBytes = size_t{WAVPAIR_BLOCK_KIB} << 10;

// One block of output frames: (fold of A's frame, fold of B's frame) for each of
// frames stereo frames; b may be a, when A stands in for B. The fold of a frame is
// floor((left + right) / 2): 8-bit silence at 128 stays 128, 16-bit sums are taken in
// 32 bits, so nothing overflows and odd negative sums round toward minus infinity.
void wavBlockFold8(const uint8_t* __restrict a, const uint8_t* __restrict b,
                   uint8_t* __restrict out, size_t frames);
void wavBlockFold16(const uint8_t* __restrict a, const uint8_t* __restrict b,
                    uint8_t* __restrict out, size_t frames);

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
// after writing every frame before the first one that could not be read. A pair that
// is not stereo of the mixer's width is refused before a byte moves.
int wavMix8(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]);
int wavMix16(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]);
