// The block mixers against the plain frame-at-a-time loop they replace: same bytes
// out, same result, for lengths around the block size and reads cut anywhere there.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "combine/combine.h"
#include "fixture.h"
#include "wav/wav.h"

namespace {

// The folds written out plainly: floor of the mean, the sum held wide enough.
uint8_t fold8(uint8_t a, uint8_t b) { return uint8_t((unsigned(a) + b) >> 1); }
int16_t fold16(int16_t a, int16_t b) { return int16_t((int32_t(a) + b) >> 1); }

// One frame of A, then one of B (A's again once B's whole frames are used up), fold,
// write: the simplest reading of what the output must hold.
int referenceMix(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  fseeko(ins[0], infos[0].dataOffset, SEEK_SET);
  fseeko(ins[1], infos[1].dataOffset, SEEK_SET);
  const uint32_t s = wavFrameSize(infos[0]);
  const uint64_t m = infos[0].dataSize / s;
  int64_t n = infos[1].dataSize / s;
  uint8_t f[8];
  for (uint64_t i = 0; i < m; ++i) {
    if (std::fread(f, s, 1, ins[0]) != 1) return -1;
    if (--n < 0) {
      std::memcpy(f + s, f, s);
    } else if (std::fread(f + s, s, 1, ins[1]) != 1) {
      return -1;
    }
    if (s == 2) {
      f[0] = fold8(f[0], f[1]);
      f[1] = fold8(f[2], f[3]);
    } else {
      const auto at = [&f](int k) { return int16_t(getU16le(f + 2 * k)); };
      const int16_t left = fold16(at(0), at(1)), right = fold16(at(2), at(3));
      putU16le(f, uint16_t(left));
      putU16le(f + 2, uint16_t(right));
    }
    if (std::fwrite(f, s, 1, out) != 1) return -1;
  }
  return 0;
}

struct Input {
  uint32_t declared;  // the data size the record claims
  uint32_t held;      // the audio bytes the file really holds (a cut file holds fewer)
};

struct Outcome {
  int rc;
  Bytes out;
  bool operator==(const Outcome&) const = default;
};

FILE* tempWith(const Bytes& b) {
  FILE* f = std::tmpfile();
  std::fwrite(b.data(), 1, b.size(), f);
  std::rewind(f);
  return f;
}

using Mixer = int (*)(FILE* const (&)[2], FILE*, const WavInfo (&)[2]);

Outcome mixWith(Mixer mix, unsigned bits, const std::array<Input, 2>& in, std::mt19937& rng) {
  WavInfo infos[2];
  FILE* files[2];
  for (int k = 0; k < 2; ++k) {
    // Audio behind a prefix of a few odd lengths, so the seek to it is exercised too.
    const uint32_t offset = 37 + 7 * k;
    Bytes body(offset + in[k].held, '\0');
    for (char& c : body) c = char(rng());
    infos[k] = {44100, uint16_t(bits), in[k].declared, 2, 44100 * bits / 4, offset};
    files[k] = tempWith(body);
  }
  FILE* out = std::tmpfile();
  FILE* const ins[2] = {files[0], files[1]};
  Outcome o{mix(ins, out, infos), {}};
  const long size = std::ftell(out);
  std::rewind(out);
  o.out.resize(size_t(size));
  EXPECT_EQ(std::fread(o.out.data(), 1, o.out.size(), out), o.out.size());
  for (FILE* f : {files[0], files[1], out}) std::fclose(f);
  return o;
}

TEST(BlockMix, MatchesFrameAtATimeAroundBlockBoundaries) {
  for (const unsigned bits : {8U, 16U}) {
    const uint32_t s = bits / 4;
    const uint32_t k = kMixBlockBytes;
    std::mt19937 rng(bits);
    const auto below = [&rng](uint32_t n) { return uint32_t(rng() % n); };
    std::vector<std::array<Input, 2>> cases;
    const auto add = [&cases](Input a, Input b) { cases.push_back({a, b}); };
    // Whole inputs of lengths just around one and two blocks, with and without a
    // trailing partial frame, B from empty to as long as A.
    for (const uint32_t a : {0U, s, k - s, k, k + s, 2 * k - s, 2 * k + 3 * s}) {
      for (const uint32_t b : {0U, s, a / 2 / s * s, k - s, k, k + s, a}) {
        if (b > a) continue;
        const uint32_t tailA = below(s), tailB = below(s);
        add({a + tailA, a + tailA}, {b + tailB, b + tailB});
      }
    }
    // Files cut at every byte near the first block's end: A alone, B alone, and both.
    for (uint32_t cut = k - 2 * s; cut <= k + 2 * s; ++cut) {
      const uint32_t full = 2 * k + 5 * s;
      add({full, cut}, {full, full});
      add({full, full}, {full - s, cut});
      add({full, cut}, {k + s, cut - below(2 * s)});
    }
    // Random lengths, some cut short.
    for (int r = 0; r < 12; ++r) {
      const uint32_t a = below(3 * k), b = below(a + 1);
      add({a, r % 3 ? a : below(a + 1)}, {b, r % 4 ? b : below(b + 1)});
    }
    for (const auto& c : cases) {
      std::mt19937 bytesForRef(c[0].declared ^ c[1].held), bytesForBlock(c[0].declared ^ c[1].held);
      const Outcome want = mixWith(referenceMix, bits, c, bytesForRef);
      const Outcome got = mixWith(wavDataWrite, bits, c, bytesForBlock);
      ASSERT_TRUE(got == want) << bits << "-bit A " << c[0].declared << "/" << c[0].held << " B "
                               << c[1].declared << "/" << c[1].held << ": rc " << got.rc << " vs "
                               << want.rc << ", " << got.out.size() << " vs " << want.out.size()
                               << " bytes";
    }
  }
}

// Records the fold loops cannot take are refused before a byte moves, whichever entry
// point they reach.
TEST(BlockMix, RefusesFramesItCannotFold) {
  const WavInfo zero{}, mono{8000, 16, 64, 1, 16000, 0}, wide{8000, 24, 64, 2, 48000, 0};
  const WavInfo s8{8000, 8, 64, 2, 16000, 0}, s16{8000, 16, 64, 2, 32000, 0};
  const struct {
    Mixer mix;
    WavInfo a, b;
  } cases[] = {
      {wavDataWrite, zero, zero}, {wavDataWrite, mono, mono}, {wavDataWrite, wide, wide},
      {wavDataWrite, s8, s16},    {wavDataWrite, s16, s8},    {wavMix8, s16, s16},
      {wavMix16, s8, s8},         {wavMix8, zero, zero},      {wavMix16, s16, mono},
  };
  for (const auto& c : cases) {
    FILE* in = tempWith(Bytes(256, 'x'));
    FILE* out = std::tmpfile();
    FILE* const ins[2] = {in, in};
    const WavInfo infos[2] = {c.a, c.b};
    EXPECT_EQ(c.mix(ins, out, infos), -1) << c.a.bitsPerSample << "/" << c.b.bitsPerSample;
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(in);
    std::fclose(out);
  }
}

}  // namespace
