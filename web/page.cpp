// What the page's worker calls in the engine: one run as the command line makes it, handing
// over its result and a picture of the output (each channel's least and greatest sample in
// each of kColumns columns) taken from each write of it, in vector code to cost little time.
#include <emscripten.h>
#include <wasm_simd128.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cli/cli.h"
#include "text.h"
#include "wav/wav.h"

namespace {

constexpr uint32_t kColumns = 1000;

// The run under way: its inputs are known, the longer first, before the output's first byte.
RunResult gRun;
int32_t gColumns[kColumns][2][2];  // [column][channel][least, greatest]

// The least and greatest left and right samples of n frames at p into a column, lane by
// lane (even lanes left, odd right). A frame counted twice changes neither, so the last
// vector may overlap the one before, and fewer frames than a vector holds fill one.
template <bool kWide>
void framesSpan(const uint8_t* p, uint64_t n, int32_t (&c)[2][2]) {
  using Lane = std::conditional_t<kWide, int16_t, uint8_t>;
  constexpr uint64_t kLanes = 16 / sizeof(Lane) / 2, kFrame = 16 / kLanes;  // frames in a vector
  alignas(16) uint8_t few[16];
  if (n < kLanes) {
    for (uint64_t k = 0; k < kLanes; ++k) std::memcpy(few + k * kFrame, p + k % n * kFrame, kFrame);
    p = few, n = kLanes;
  }
  v128_t lo = wasm_v128_load(p), hi = lo;
  for (uint64_t i = kLanes; i < n; i += kLanes) {
    const v128_t v = wasm_v128_load(p + std::min(i, n - kLanes) * kFrame);
    lo = kWide ? wasm_i16x8_min(lo, v) : wasm_u8x16_min(lo, v);
    hi = kWide ? wasm_i16x8_max(hi, v) : wasm_u8x16_max(hi, v);
  }
  alignas(16) Lane ends[2][2 * kLanes];
  wasm_v128_store(ends[0], lo), wasm_v128_store(ends[1], hi);
  for (uint64_t lane = 0; lane < 2 * kLanes; ++lane) {
    c[lane % 2][0] = std::min<int32_t>(c[lane % 2][0], ends[0][lane]);
    c[lane % 2][1] = std::max<int32_t>(c[lane % 2][1], ends[1][lane]);
  }
}

// n frames at p, the first of them frame `frame` of the output, column by column.
template <bool kWide>
void framesPass(const uint8_t* p, uint64_t frame, uint64_t n) {
  const uint64_t total = gRun.inputs[0].frames;
  n = std::min(n, total - std::min(total, frame));  // bytes past the declared frames are not drawn
  for (uint64_t done = 0; done < n;) {
    const uint64_t column = (frame + done) * kColumns / total;
    const uint64_t next = ((column + 1) * total + kColumns - 1) / kColumns;  // its first frame
    const uint64_t end = std::min(n, next - frame);
    framesSpan<kWide>(p + done * (kWide ? 4 : 2), end - done, gColumns[column]);
    done = end;
  }
}

}  // namespace

// The result, and the columns: kColumns * 4 values, the least and greatest of the left channel
// then the right, for each column (one no frame fell in has its least above its greatest).
// clang-format off
EM_JS(void, pageResultHand, (const char* failure, int concerns, int longer, int formatTag,
                             int formatBits, double outputFrames, double shorterFrames,
                             double outputBytes, const uint32_t* inputs, const int32_t* columns,
                             size_t n), {
  const at = (k, field) => HEAPU32[(inputs >> 2) + 3 * k + field];
  const input = (k) => ({ rate: at(k, 0), bits: at(k, 1), channels: at(k, 2) });
  Module["runDone"]({ failure: failure ? UTF8ToString(failure) : null, concerns, longer,
                      formatTag, formatBits, outputFrames, shorterFrames, outputBytes,
                      inputs: [input(0), input(1)] },
                    HEAP32.slice(columns >> 2, (columns >> 2) + n));
});
// clang-format on

extern "C" {

// One run: the two inputs and the output by the names the worker serves them under.
// The worker calls it asynchronously: the engine waits for each read of a file.
EMSCRIPTEN_KEEPALIVE int pageRun(const char* first, const char* second, const char* output) {
  for (auto& column : gColumns) {
    for (auto& channel : column) channel[0] = INT32_MAX, channel[1] = INT32_MIN;
  }
  const char* const argv[] = {"wavpair", first, second, output, nullptr};
  const int status = wavpairRun(4, argv, &gRun);
  const uint32_t in[6] = {gRun.inputs[0].rate, gRun.inputs[0].bits, gRun.inputs[0].channels,
                          gRun.inputs[1].rate, gRun.inputs[1].bits, gRun.inputs[1].channels};
  pageResultHand(gRun.failure == nullptr ? nullptr : gRun.failure->name, gRun.concerns, gRun.longer,
                 gRun.formatTag, gRun.formatBits, static_cast<double>(gRun.outputFrames),
                 static_cast<double>(gRun.shorterFrames), static_cast<double>(gRun.outputBytes), in,
                 &gColumns[0][0][0], kColumns * 4);
  return status;
}

// n bytes the engine wrote at `at` of the output: the engine's streams are unbuffered,
// so each write of audio arrives as whole frames after the header.
EMSCRIPTEN_KEEPALIVE void picturePass(const uint8_t* p, size_t n, double at) {
  const uint32_t block = uint32_t{gRun.inputs[0].bits} / 8 * gRun.inputs[0].channels;
  if (at < kWavHeaderSize || block == 0) return;
  const uint64_t frame = (static_cast<uint64_t>(at) - kWavHeaderSize) / block;
  if (block == 4) framesPass<true>(p, frame, n / 4);
  if (block == 2) framesPass<false>(p, frame, n / 2);
}
}
