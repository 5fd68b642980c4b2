// What the page's worker calls in the engine: one run, as the command line would make
// it, handing over the run's result and a picture of the output: for each of kColumns
// columns, the least and the greatest sample of each channel among the frames that
// fall in it, so a steady tone draws as a flat band. The worker passes the picture each
// write of the output; vector code keeps it off the run's time.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "cli/cli.h"
#include "platform/platform.h"
#include "wav/wav.h"

// src/platform/browser.cpp: the message that ended the last failed run.
const Message* browserFailureTake();

namespace {

constexpr uint32_t kColumns = 1000;

// The run under way: its inputs are known, the longer first, from their pairing on,
// before the first byte of the output is written.
RunResult gRun;
int32_t gColumns[kColumns][2][2];  // [column][channel][least, greatest]

// The least and greatest left and right samples of n frames at p, into a column. Each
// frame is one little-endian word, split lane by lane, so the loop is vector code.
template <bool kWide>
void framesSpan(const uint8_t* p, uint64_t n, int32_t (&c)[2][2]) {
  int32_t lo0 = c[0][0], hi0 = c[0][1], lo1 = c[1][0], hi1 = c[1][1];
  for (uint64_t i = 0; i < n; ++i) {
    const uint32_t w = kWide ? getU32le(p + 4 * i) : getU16le(p + 2 * i);
    const int32_t left =
        kWide ? static_cast<int16_t>(w & 0xFFFFU) : static_cast<int32_t>(w & 0xFFU);
    const int32_t right = kWide ? static_cast<int32_t>(w) >> 16 : static_cast<int32_t>(w >> 8);
    lo0 = std::min(lo0, left), hi0 = std::max(hi0, left);
    lo1 = std::min(lo1, right), hi1 = std::max(hi1, right);
  }
  c[0][0] = lo0, c[0][1] = hi0, c[1][0] = lo1, c[1][1] = hi1;
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

// The result, and the columns: kColumns * 4 values, least and greatest of the left
// channel, then of the right, for each column (one no frame fell in has its least
// above its greatest).
// clang-format off
EM_JS(void, pageResultHand, (const char* failure, int concerns, int longer, int formatTag,
                             int formatBits, double outputFrames, double shorterFrames,
                             double outputBytes, const uint32_t* inputs, const int32_t* columns, size_t n), {
  const input = (k) => ({ rate: HEAPU32[(inputs >> 2) + 3 * k], bits: HEAPU32[(inputs >> 2) + 3 * k + 1],
                          channels: HEAPU32[(inputs >> 2) + 3 * k + 2] });
  Module["runDone"]({ failure: failure ? UTF8ToString(failure) : null, concerns, longer, formatTag,
                      formatBits, outputFrames, shorterFrames, outputBytes, inputs: [input(0), input(1)] },
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
  static_cast<void>(browserFailureTake());  // nothing of an earlier run
  const int status = wavpairRun(4, argv, &gRun);
  const Message* failure = browserFailureTake();
  const uint32_t in[6] = {gRun.inputs[0].rate, gRun.inputs[0].bits, gRun.inputs[0].channels,
                          gRun.inputs[1].rate, gRun.inputs[1].bits, gRun.inputs[1].channels};
  pageResultHand(status == 0 || failure == nullptr ? nullptr : failure->name, gRun.concerns,
                 gRun.longer, gRun.formatTag, gRun.formatBits,
                 static_cast<double>(gRun.outputFrames), static_cast<double>(gRun.shorterFrames),
                 static_cast<double>(gRun.outputBytes), in, &gColumns[0][0][0], kColumns * 4);
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
