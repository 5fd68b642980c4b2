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

// One block of 8-bit output frames: (fold of A's frame, fold of B's frame) for each
// of frames stereo frames; b may be a, when A stands in for B. The fold of a frame is
// floor((left + right) / 2), so silence at 128 stays 128.
void wavBlockFold8(const uint8_t* __restrict a, const uint8_t* __restrict b,
                   uint8_t* __restrict out, size_t frames);

// Applies the pairing rules and puts the longer input (by data size) in slot 0;
// ties keep the command-line order. nullptr, or the rule's failure, its message printed.
Failure wavFormatCheck(const char* (&names)[2], WavInfo (&infos)[2]);

// Creates outName and writes the header and the frames of a pair that wavFormatCheck
// has ordered. Refuses, before the output is touched, a rate the header cannot hold,
// an input shorter than its declared audio and an output that is an input or what a
// standard stream writes into; refuses an input that is no longer the file its scan
// read. Opens and closes every stream it uses. nullptr, or the failure, its message
// printed.
Failure wavCombine(const char* const (&names)[2], const char* outName, const WavInfo (&infos)[2]);
