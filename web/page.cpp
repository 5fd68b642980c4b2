// What the page's worker calls in the engine: one run, as the command line would
// make it, with the facts the page shows (the run's result: formats, frames, which
// input is longer, the message that ended it); and the picture the page draws of the
// output: for each of kColumns columns, the least and the greatest sample of each
// channel among all the frames that fall in it, so a steady tone draws as a flat band.
// The worker passes the picture the output as the engine writes it; vector code keeps
// it off the run's time.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "cli/cli.h"
#include "platform/platform.h"
#include "wav/wav.h"

// src/platform/browser.cpp: what it noted of the texts it was given.
const Message* browserFailureTake();

namespace {

constexpr uint32_t kColumns = 1000;

// The run under way: the output's format is known from its pairing on, before the
// first byte of the output is written.
RunResult gRun;
uint64_t gFrame = 0;
// [column][channel][least, greatest]
int32_t gColumns[kColumns][2][2];

uint32_t blockOf() { return uint32_t{gRun.inputs[0].bits} / 8 * gRun.inputs[0].channels; }
uint64_t framesOf() { return gRun.inputs[0].frames; }

// The least and greatest left and right samples of n frames at p, into lo and hi.
// Each frame is one little-endian word, split lane by lane, so the loop is vector code.
template <bool kWide>
void framesSpan(const uint8_t* p, uint64_t n, int32_t (&lo)[2], int32_t (&hi)[2]) {
  int32_t lo0 = lo[0], lo1 = lo[1], hi0 = hi[0], hi1 = hi[1];
  for (uint64_t i = 0; i < n; ++i) {
    const uint32_t w = kWide ? getU32le(p + 4 * i) : getU16le(p + 2 * i);
    const int32_t left =
        kWide ? static_cast<int16_t>(w & 0xFFFFU) : static_cast<int32_t>(w & 0xFFU);
    const int32_t right = kWide ? static_cast<int32_t>(w) >> 16 : static_cast<int32_t>(w >> 8);
    lo0 = std::min(lo0, left), hi0 = std::max(hi0, left);
    lo1 = std::min(lo1, right), hi1 = std::max(hi1, right);
  }
  lo[0] = lo0, lo[1] = lo1, hi[0] = hi0, hi[1] = hi1;
}

// Frames [gFrame, gFrame + n) at p, column by column.
template <bool kWide>
void framesPass(const uint8_t* p, uint64_t n) {
  constexpr size_t s = kWide ? 4 : 2;
  const uint64_t total = framesOf();
  for (uint64_t done = 0; done < n;) {
    const uint64_t column = (gFrame + done) * kColumns / total;
    const uint64_t next = ((column + 1) * total + kColumns - 1) / kColumns;  // its first frame
    const uint64_t end = std::min(n, next - gFrame);
    int32_t lo[2] = {gColumns[column][0][0], gColumns[column][1][0]};
    int32_t hi[2] = {gColumns[column][0][1], gColumns[column][1][1]};
    framesSpan<kWide>(p + done * s, end - done, lo, hi);
    for (size_t ch = 0; ch < 2; ++ch) {
      gColumns[column][ch][0] = lo[ch];
      gColumns[column][ch][1] = hi[ch];
    }
    done = end;
  }
  gFrame += n;
}

void wholeFramesPass(const uint8_t* p, uint64_t n) {
  const uint64_t room = framesOf() - std::min(framesOf(), gFrame);
  n = std::min(n, room);  // bytes past the declared frames are not drawn
  if (blockOf() == 4) framesPass<true>(p, n);
  if (blockOf() == 2) framesPass<false>(p, n);
}

}  // namespace

// What the worker is handed: the columns, kColumns * 4 values, least and greatest of
// the left channel, then of the right, for each column (a column no frame fell in has
// its least above its greatest); the run's result.
// clang-format off
EM_JS(void, pictureHand, (const int32_t* columns, size_t n), {
  Module["pictureDone"](HEAP32.slice(columns >> 2, (columns >> 2) + n));
});
EM_JS(void, pageInputHand, (int k, double rate, int bits, int channels, double frames), {
  Module["resultInput"](k, { rate, bits, channels, frames });
});
EM_JS(void, pageResultHand, (int longer, double outputFrames, double shorterFrames,
                             const char* failure, int concerns, int formatTag, int formatBits), {
  Module["resultDone"]({ longer, outputFrames, shorterFrames, concerns, formatTag, formatBits,
                         failure: failure ? UTF8ToString(failure) : null });
});
// clang-format on

extern "C" {

// One run: the two inputs and the output by the names the worker serves them under.
// The worker calls it asynchronously: the engine waits for each read of a file.
EMSCRIPTEN_KEEPALIVE int pageRun(const char* first, const char* second, const char* output) {
  const char* const argv[] = {"wavpair", first, second, output, nullptr};
  static_cast<void>(browserFailureTake());  // nothing of an earlier run
  const int status = wavpairRun(4, argv, &gRun);
  const Message* failure = browserFailureTake();
  const char* failed = status == 0 || failure == nullptr ? nullptr : failure->name;
  for (int k = 0; k < 2; ++k) {
    const RunInput& in = gRun.inputs[k];
    pageInputHand(k, in.rate, in.bits, in.channels, static_cast<double>(in.frames));
  }
  pageResultHand(gRun.longer, static_cast<double>(gRun.outputFrames),
                 static_cast<double>(gRun.shorterFrames), failed, gRun.concerns, gRun.formatTag,
                 gRun.formatBits);
  return status;
}

// The output's size as its header declares it (the whole frames of the longer input),
// known from the pairing on: the worker sizes the output's file at once.
EMSCRIPTEN_KEEPALIVE double pageOutputBytes() {
  return static_cast<double>(kWavHeaderSize + gRun.inputs[0].frames * blockOf());
}

// A new output begins.
EMSCRIPTEN_KEEPALIVE void pictureStart() {
  gFrame = 0;
  for (auto& column : gColumns) {
    for (auto& channel : column) channel[0] = INT32_MAX, channel[1] = INT32_MIN;
  }
}

// The output's next n bytes of audio, as written: the engine's streams are unbuffered,
// so each write arrives whole, the header as the one write at 0 (which the worker
// does not pass here) and each block of audio as whole frames.
EMSCRIPTEN_KEEPALIVE void picturePass(const uint8_t* p, size_t n) {
  if (blockOf() != 0) wholeFramesPass(p, n / blockOf());
}

EMSCRIPTEN_KEEPALIVE void pictureFinish() { pictureHand(&gColumns[0][0][0], kColumns * 4); }
}
