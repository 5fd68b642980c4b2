// What the page's worker calls in the engine: one run, as the command line would
// make it, and the picture the page draws of the output: for each of kColumns
// columns, the least and the greatest sample of each channel among all the frames that
// fall in it, so a steady tone draws as a flat band. The worker passes the picture the
// output as the engine writes it, header first; vector code keeps it off the run's time.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cli/cli.h"
#include "wav/wav.h"

namespace {

constexpr uint32_t kColumns = 1000;

// The header as it arrives, then where the frames stand.
uint8_t gHeader[kWavHeaderSize];
size_t gHeaderHeld = 0;
uint8_t gCarry[4];  // a frame cut between two writes
size_t gCarryHeld = 0;
uint64_t gFrame = 0;
// [column][channel][least, greatest]
int32_t gColumns[kColumns][2][2];

uint32_t blockOf() { return getU16le(gHeader + 32); }
uint64_t framesOf() { return blockOf() == 0 ? 0 : getU32le(gHeader + 40) / blockOf(); }

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

// Hands the worker the columns: kColumns * 4 values, least and greatest of the left
// channel, then of the right, for each column (a column no frame fell in has its
// least above its greatest).
// clang-format off
EM_JS(void, pictureHand, (const int32_t* columns, size_t n), {
  Module["pictureDone"](HEAP32.slice(columns >> 2, (columns >> 2) + n));
});
// clang-format on

extern "C" {

// One run: the two inputs and the output by the names the worker serves them under.
// The worker calls it asynchronously: the engine waits for each read of a file.
EMSCRIPTEN_KEEPALIVE int pageRun(const char* first, const char* second, const char* output) {
  const char* const argv[] = {"wavpair", first, second, output, nullptr};
  return wavpairRun(4, argv);
}

// A new output begins.
EMSCRIPTEN_KEEPALIVE void pictureStart() {
  gHeaderHeld = gCarryHeld = 0;
  gFrame = 0;
  for (auto& column : gColumns) {
    for (auto& channel : column) channel[0] = INT32_MAX, channel[1] = INT32_MIN;
  }
}

// The output's next n bytes, as written.
EMSCRIPTEN_KEEPALIVE void picturePass(const uint8_t* p, size_t n) {
  const size_t head = std::min(n, size_t{kWavHeaderSize} - gHeaderHeld);
  std::memcpy(gHeader + gHeaderHeld, p, head);
  gHeaderHeld += head, p += head, n -= head;
  const size_t s = blockOf();
  if (n == 0 || (s != 2 && s != 4)) return;
  if (gCarryHeld > 0) {
    const size_t take = std::min(n, s - gCarryHeld);
    std::memcpy(gCarry + gCarryHeld, p, take);
    gCarryHeld += take, p += take, n -= take;
    if (gCarryHeld < s) return;
    wholeFramesPass(gCarry, 1);
    gCarryHeld = 0;
  }
  wholeFramesPass(p, n / s);
  gCarryHeld = n % s;
  std::memcpy(gCarry, p + n / s * s, gCarryHeld);
}

EMSCRIPTEN_KEEPALIVE void pictureFinish() { pictureHand(&gColumns[0][0][0], kColumns * 4); }
}
