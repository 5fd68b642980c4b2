// The pairing rules, the creation of the output, and the block mixers that fold both
// inputs into its two channels.
#include "combine/combine.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "progress.h"

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace {

// Audio moves in blocks: one read of A, one of B and one write per block. A request
// this large goes straight between these buffers and the file, past the stream's own
// small buffer, so the streams stay stdio (one owner, closed by wavCombine) and cost
// no more than plain read/write. The buffers are static: memory is flat whatever the
// input size, and nothing is allocated while audio moves.
alignas(64) uint8_t gBlockA[kMixBlockBytes];
alignas(64) uint8_t gBlockB[kMixBlockBytes];
alignas(64) uint8_t gBlockOut[kMixBlockBytes];

// Stores one output frame as a little-endian word. The vectoriser sees a plain word
// store here, where byte-by-byte stores (putU16le) would cost it a shuffle per frame.
template <typename Word>
void wavWordStore(uint8_t* p, Word v) {
  if constexpr (std::endian::native == std::endian::big) {
    v = sizeof v == 2 ? static_cast<Word>(__builtin_bswap16(static_cast<uint16_t>(v)))
                      : static_cast<Word>(__builtin_bswap32(static_cast<uint32_t>(v)));
  }
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

// Each frame is handled as one little-endian word and folded lane by lane, so the
// compiler turns both loops into vector code.
void wavBlockFold8(const uint8_t* __restrict a, const uint8_t* __restrict b,
                   uint8_t* __restrict out, size_t frames) {
  size_t i = 0;
#if defined(__wasm_simd128__)
  // The compiler's own WebAssembly for this loop is ten times slower than the lanes
  // written out: each frame's two samples added side by side, halved, A's and B's
  // narrowed into one vector and interleaved.
  for (; i + 8 <= frames; i += 8) {
    const v128_t x = wasm_u16x8_shr(wasm_u16x8_extadd_pairwise_u8x16(wasm_v128_load(a + 2 * i)), 1);
    const v128_t y = wasm_u16x8_shr(wasm_u16x8_extadd_pairwise_u8x16(wasm_v128_load(b + 2 * i)), 1);
    const v128_t n = wasm_u8x16_narrow_i16x8(x, y);
    wasm_v128_store(out + 2 * i,
                    wasm_i8x16_shuffle(n, n, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15));
  }
#endif
  for (; i < frames; ++i) {
    const unsigned wa = getU16le(a + 2 * i);
    const unsigned wb = getU16le(b + 2 * i);
    const unsigned left = ((wa & 0xFFU) + (wa >> 8)) >> 1;
    const unsigned right = ((wb & 0xFFU) + (wb >> 8)) >> 1;
    wavWordStore(out + 2 * i, static_cast<uint16_t>(left | (right << 8)));
  }
}

namespace {

// The 16-bit block fold. Each half of the word is sign-extended to 32 bits, so the sum
// cannot overflow and the arithmetic shift floors it (odd negative sums round toward
// minus infinity).
void wavBlockFold16(const uint8_t* __restrict a, const uint8_t* __restrict b,
                    uint8_t* __restrict out, size_t frames) {
  const auto sum = [](uint32_t w) {
    return (static_cast<int32_t>(w << 16) >> 16) + (static_cast<int32_t>(w) >> 16);
  };
  size_t i = 0;
#if defined(__wasm_simd128__)
  // As wavBlockFold8: five times as fast as the compiler's own WebAssembly here.
  for (; i + 4 <= frames; i += 4) {
    const v128_t x = wasm_i32x4_shr(wasm_i32x4_extadd_pairwise_i16x8(wasm_v128_load(a + 4 * i)), 1);
    const v128_t y = wasm_i32x4_shr(wasm_i32x4_extadd_pairwise_i16x8(wasm_v128_load(b + 4 * i)), 1);
    const v128_t n = wasm_i16x8_narrow_i32x4(x, y);
    wasm_v128_store(out + 4 * i, wasm_i16x8_shuffle(n, n, 0, 4, 1, 5, 2, 6, 3, 7));
  }
#endif
  for (; i < frames; ++i) {
    const int32_t left = sum(getU32le(a + 4 * i)) >> 1;
    const int32_t right = sum(getU32le(b + 4 * i)) >> 1;
    wavWordStore(out + 4 * i,
                 (static_cast<uint32_t>(left) & 0xFFFFU) | (static_cast<uint32_t>(right) << 16));
  }
}

using BlockFold = void (*)(const uint8_t*, const uint8_t*, uint8_t*, size_t);

// The loop both widths share. Its output equals that of taking one frame of A, then
// one of B (or A's again once B's whole frames are used up), folding and writing it:
// on a short read the frames before the first missing one are written, then -1.
// The fold takes stereo frames of exactly s bytes from both inputs: the scan takes
// only 8 or 16 bits, the run only two channels, and the pairing one width for both.
template <BlockFold Fold, size_t s>
int wavMix(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  assert(infos[0].channels == 2 && infos[1].channels == 2 && infos[0].bitsPerSample == s / 2 * 8 &&
         infos[1].bitsPerSample == s / 2 * 8);
  const uint64_t m = infos[0].dataSize / s;
  uint64_t n = std::min<uint64_t>(infos[1].dataSize / s, m);  // B's frames still unread
  const uint64_t block = kMixBlockBytes / s;
  for (uint64_t done = 0; done < m;) {
    const size_t want = static_cast<size_t>(std::min(block, m - done));
    const size_t wantB = static_cast<size_t>(std::min<uint64_t>(want, n));
    const size_t gotA = std::fread(gBlockA, s, want, ins[0]);
    const size_t gotB = wantB == 0 ? 0 : std::fread(gBlockB, s, wantB, ins[1]);
    const bool shortRead = gotA < want || gotB < wantB;
    const size_t good = gotB < wantB ? std::min(gotA, gotB) : gotA;
    const size_t withB = std::min(good, wantB);
    Fold(gBlockA, gBlockB, gBlockOut, withB);
    Fold(gBlockA + withB * s, gBlockA + withB * s, gBlockOut + withB * s, good - withB);
    if (std::fwrite(gBlockOut, s, good, out) != good || shortRead) {
      return -1;
    }
    done += want;
    n -= wantB;
    platformOutputWritten(out, kWavHeaderSize + done * s, kWavHeaderSize + m * s);
    progressTell(kWavHeaderSize + done * s, kWavHeaderSize + m * s);
  }
  return 0;
}

// The two mixers: fold each frame of A (slot 0) and B (slot 1) into one output frame.
int wavMix8(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  return wavMix<wavBlockFold8, 2>(ins, out, infos);
}

int wavMix16(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  return wavMix<wavBlockFold16, 4>(ins, out, infos);
}

// Positions both inputs at their audio and runs the mixer for the sample width.
// Prints nothing. 0 or -1.
int wavDataWrite(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  // A seek that fails would feed the mixer whatever bytes come next; refuse instead.
  for (int k = 0; k < 2; ++k) {
    if (platformSeek(ins[k], infos[k].dataOffset) != 0) {
      return -1;
    }
  }
  return infos[0].bitsPerSample == 8 ? wavMix8(ins, out, infos) : wavMix16(ins, out, infos);
}

// The text of each refusal of the output. A name that leads to an input, or to what a
// standard stream writes into, is named as such; something that cannot hold a file
// gets the header's text, since not a byte of the header reaches it.
const Message* wavRefusalMessage(OutputRefusal why) {
  switch (why) {
    case OutputRefusal::kInput:
      return &msg::kSameFile;
    case OutputRefusal::kStdout:
      return &msg::kSameAsStdout;
    case OutputRefusal::kStderr:
      return &msg::kSameAsStderr;
    case OutputRefusal::kNotAFile:
      return &msg::kHeaderWrite;
    case OutputRefusal::kNone:
    case OutputRefusal::kCannotOpen:
      break;
  }
  return &msg::kFileOpen;
}

// The audio of both inputs, opened again, into the output after its header; the
// output is left to the caller. Each input must be, after its last read, the very file
// its scan read, as the scan found it (its identity, size and times): a name that has
// come to mean another file since, or a file rewritten in place, is refused as one that
// cannot be opened, whatever the mixer met meanwhile, or what was read might be half
// of one file and half of another.
Failure wavAudioWrite(const char* const (&names)[2], const char* outName, FILE* out,
                      const WavInfo (&infos)[2]) {
  if (wavHeaderWrite(out, infos) != kWavHeaderSize) return textFail(&msg::kHeaderWrite, outName);
  FILE* const a = platformInputOpen(names[0]);
  if (a == nullptr) return textFail(&msg::kFileOpen, names[0]);
  FILE* const b = platformInputOpen(names[1]);
  if (b == nullptr) {
    wavStreamClose(a);
    return textFail(&msg::kFileOpen, names[1]);
  }
  FILE* const ins[2] = {a, b};
  const int rc = wavDataWrite(ins, out, infos);
  Failure f = nullptr;
  for (int k = 0; k < 2 && f == nullptr; ++k) {
    FileStamp now{};
    if (!platformStreamStamp(ins[k], &now) || !fileStampSame(now, infos[k].stamp)) {
      f = textFail(&msg::kFileOpen, names[k]);
    }
  }
  if (f == nullptr && rc != 0) f = textFail(&msg::kDataWrite);
  wavStreamClose(a);
  wavStreamClose(b);
  return f;
}

// True when an input's file, as its scan found it, is shorter than the audio the run
// will read from it: the run would fail partway, so it is refused before the output
// exists.
bool wavInputsShort(const WavInfo (&infos)[2]) {
  const uint64_t s = wavFrameSize(infos[0]);
  const uint64_t m = s == 0 ? 0 : infos[0].dataSize / s;
  const uint64_t frames[2] = {m, std::min<uint64_t>(s == 0 ? 0 : infos[1].dataSize / s, m)};
  for (int k = 0; k < 2; ++k) {
    if (infos[k].stamp.size < static_cast<uint64_t>(infos[k].dataOffset) + frames[k] * s) {
      return true;
    }
  }
  return false;
}

}  // namespace

Failure wavFormatCheck(const char* (&names)[2], WavInfo (&infos)[2]) {
  if (infos[0].sampleRate != infos[1].sampleRate) return textFail(&msg::kRateDiffers);
  if (infos[0].bitsPerSample != infos[1].bitsPerSample) return textFail(&msg::kBitsDiffers);
  if (infos[0].bytesPerSec != infos[1].bytesPerSec) return textFail(&msg::kBytesPerSecDiffers);
  if (infos[0].dataSize < infos[1].dataSize) {
    std::swap(infos[0], infos[1]);
    std::swap(names[0], names[1]);
  }
  return nullptr;
}

Failure wavCombine(const char* const (&names)[2], const char* outName, const WavInfo (&infos)[2]) {
  // Checked before the output is touched: a header that cannot hold the rate would be
  // a file that lies about its own format.
  if (!wavHeaderFits(infos)) return textFail(&msg::kHeaderWrite, outName);
  if (wavInputsShort(infos)) return textFail(&msg::kDataWrite);
  const FileId inputs[2] = {infos[0].stamp.file, infos[1].stamp.file};
  Output out;
  const OutputRefusal why = platformOutputBegin(outName, inputs, &out);
  if (why != OutputRefusal::kNone) return textFail(wavRefusalMessage(why), outName);
  Failure f = wavAudioWrite(names, outName, out.stream, infos);
  // The report so far must have arrived before the output is put in place: a run that
  // fails leaves the old output as it was.
  if (f == nullptr && !platformStreamGood(stdout)) f = textFail(&msg::kStdoutWrite);
  if (f != nullptr) {
    platformOutputAbort(&out);
    return f;
  }
  // The last frames reach the file only on its close; a failure there is a failure of
  // the run, not a success with a short file.
  if (!platformOutputCommit(&out)) return textFail(&msg::kOutputWrite, outName);
  return nullptr;
}
