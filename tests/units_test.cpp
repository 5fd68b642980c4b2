#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <vector>

#include "combine/combine.h"
#include "fixture.h"
#include "messages.h"
#include "wav/wav.h"

namespace {

// Every pair of 8-bit samples, in both halves of the output frame, and with A
// standing in for B.
TEST(Fold, EightBitMatchesFloorOfMeanForEveryPair) {
  std::vector<uint8_t> a(2 * 65536), b(2 * 65536), out(2 * 65536), self(2 * 65536);
  for (int k = 0; k < 65536; ++k) {
    a[2 * k] = uint8_t(k), a[2 * k + 1] = uint8_t(k >> 8);
    b[2 * k] = uint8_t(k >> 8), b[2 * k + 1] = uint8_t(~k);
  }
  wavBlockFold8(a.data(), b.data(), out.data(), 65536);
  wavBlockFold8(a.data(), a.data(), self.data(), 65536);
  for (int k = 0; k < 65536; ++k) {
    const int x = k & 0xFF, y = k >> 8, z = ~k & 0xFF;
    ASSERT_EQ(out[2 * k], (x + y) / 2) << x << " " << y;
    ASSERT_EQ(out[2 * k + 1], (y + z) / 2) << y << " " << z;
    ASSERT_EQ(self[2 * k + 1], self[2 * k]) << x << " " << y;
  }
}

TEST(Fold, SixteenBitRoundsTowardMinusInfinityWithoutOverflow) {
  const struct {
    int a, b, folded;
  } cases[] = {
      {32767, 32767, 32767},
      {-32768, -32768, -32768},
      {-32768, 32767, -1},
      {-1, -2, -2},
      {1, 2, 1},
      {-3, 0, -2},
      {0, 0, 0},
      {32767, -32767, 0},
  };
  // Each pair as A's frame and, the other way round, as B's.
  const size_t n = std::size(cases);
  std::vector<uint8_t> a(4 * n), b(4 * n), out(4 * n);
  for (size_t k = 0; k < n; ++k) {
    putU16le(&a[4 * k], uint16_t(cases[k].a)), putU16le(&a[4 * k + 2], uint16_t(cases[k].b));
    putU16le(&b[4 * k], uint16_t(cases[k].b)), putU16le(&b[4 * k + 2], uint16_t(cases[k].a));
  }
  wavBlockFold16(a.data(), b.data(), out.data(), n);
  for (size_t k = 0; k < n; ++k) {
    const auto& c = cases[k];
    EXPECT_EQ(int16_t(getU16le(&out[4 * k])), c.folded) << c.a << " " << c.b;
    EXPECT_EQ(int16_t(getU16le(&out[4 * k + 2])), c.folded) << c.b << " " << c.a;
  }
}

// Every message of the table against its UTF-8 text, byte for byte.
TEST(Messages, AreTheShiftJisOfTheirTexts) {
#define WAVPAIR_CHECK(name, utf8, sjis) EXPECT_EQ(std::string(msg::name), toSjis(utf8)) << #name;
  WAVPAIR_MESSAGES(WAVPAIR_CHECK)
#undef WAVPAIR_CHECK
}

std::string tempPath(const char* leaf) {
  return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + leaf)).string();
}

TEST(HeaderWrite, WritesTheCanonicalHeader) {
  const struct {
    WavInfo info;
    Bytes header;
  } cases[] = {
      {{44100, 16, 1764000, 2, 176400, 44},
       "RIFF" + u32(1764036) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(44100) + u32(176400) +
           u16(4) + u16(16) + "data" + u32(1764000)},
      {{22050, 8, 1001, 2, 12345, 60},  // odd size: the partial frame is not declared
       "RIFF" + u32(1036) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(22050) + u32(44100) +
           u16(2) + u16(8) + "data" + u32(1000)},
      {{8000, 8, 0xFFFFFFFF, 2, 16000, 44},  // RIFF size held at the 32-bit limit
       "RIFF" + u32(0xFFFFFFFF) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(8000) + u32(16000) +
           u16(2) + u16(8) + "data" + u32(0xFFFFFFFE)},
  };
  const std::string path = tempPath("-header.wav");
  for (const auto& c : cases) {
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const WavInfo infos[2] = {c.info, {}};
    EXPECT_EQ(wavHeaderWrite(out, infos), 44);
    std::fclose(out);
    EXPECT_EQ(readFile(path), c.header);
  }
  std::remove(path.c_str());
}

// The scan over files that each hold one quirk: what it prints, where, and what it keeps.
TEST(HeaderRead, ReportsAndValidatesOddFiles) {
  const Bytes fmt16 = chunk("fmt ", fmtPayload(1, 2, 44100, 176400, 4, 16));
  const Bytes data4 = chunk("data", "abcd");
  const std::string lines16 = fmtLines(1, 2, 44100, 176400, 4, 16);
  const std::string fmtLen = " \"fmt \"の長さ: 16 [bytes]\n";
  const std::string dataLen4 = "\n \"data\" の長さ: 4 [bytes]\n";
  const std::string t0 = seconds(0);
  const struct {
    const char* name;
    Bytes file;
    int rc;
    std::string out, err;
    uint32_t dataSize = 0;
    int64_t dataOffset = 0;
  } cases[] = {
      {"empty", "", -1, "", " 0 で読み込み失敗.\n"},
      {"cut RIFF header", "RIFF\1", -1, "", " 5 で読み込み失敗.\n"},
      {"big-endian mark", riff(fmt16 + data4, "RIFX"), -1, "", "'RIFF' フォーマットでない.\n"},
      {"no marks", "RIFX" + u32(4) + "AVI " + fmt16, -1, "", "'WAVE' が無い.\n"},
      {"extensible", riff(chunk("fmt ", fmtPayload(0xFFFE, 2, 44100, 176400, 4, 16)) + data4), -1,
       fmtLines(65534, 2, 44100, 176400, 4, 16),
       fmtLen +
           "\nこのプログラムは無圧縮PCMのみを対象とします.\nこのwavファイルの形式は FFFE です．\n"},
      {"float tag", riff(chunk("fmt ", fmtPayload(3, 2, 44100, 352800, 8, 32))), -1,
       fmtLines(3, 2, 44100, 352800, 8, 32),
       fmtLen +
           "\nこのプログラムは無圧縮PCMのみを対象とします.\nこのwavファイルの形式は 0003 です．\n"},
      {"24 bits", riff(chunk("fmt ", fmtPayload(1, 2, 48000, 288000, 6, 24)) + data4), -1,
       fmtLines(1, 2, 48000, 288000, 6, 24),
       fmtLen + "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n"
                "このwavファイルの bits/secは 24 です．\n"},
      {"fmt of 14 bytes reads 16",
       riff(chunkRaw("fmt ", 14, fmtPayload(1, 2, 8000, 32000, 4, 16).substr(0, 14)) + data4), -1,
       fmtLines(1, 2, 8000, 32000, 4, 24932),
       " \"fmt \"の長さ: 14 "
       "[bytes]\n\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n"
       "このwavファイルの bits/secは 24932 です．\n"},
      {"fmt cut short at the end: silent", riff(chunkRaw("fmt ", 16, "abc")), -1, "", fmtLen},
      {"LIST before fmt", riff(chunk("LIST", Bytes(26, 'x')) + fmt16 + data4), 0,
       " \"LIST\"の長さ: 26 [bytes]\n" + lines16 + t0, fmtLen + dataLen4, 4, 78},
      {"fmt of 18 bytes",
       riff(chunk("fmt ", fmtPayload(1, 2, 44100, 176400, 4, 16) + "zz") + data4), 0, lines16 + t0,
       " \"fmt \"の長さ: 18 [bytes]\n" + dataLen4, 4, 46},
      {"empty chunk", riff(chunk("JUNK", "") + fmt16 + data4), 0,
       " \"JUNK\"の長さ: 0 [bytes]\n" + lines16 + t0, fmtLen + dataLen4, 4, 52},
      {"ten seconds", riff(fmt16 + chunkRaw("data", 1764000)), 0, lines16 + seconds(10),
       fmtLen + "\n \"data\" の長さ: 1764000 [bytes]\n", 1764000, 44},
      {"data of 2 GiB prints negative", riff(fmt16 + chunkRaw("data", 0x80000000U)), 0,
       lines16 + seconds(2147483648.0 / 176400),
       fmtLen + "\n \"data\" の長さ: -2147483648 [bytes]\n", 0x80000000U, 44},
      {"huge size skips forward, not back",
       riff(fmt16 + data4 + chunkRaw("JUNK", 0xFFFFFFF8U) + chunk("LIST", "ab")), 0,
       lines16 + " \"JUNK\"の長さ: -8 [bytes]\n" + t0, fmtLen + dataLen4, 4, 44},
      {"chunk after data is itself", riff(fmt16 + data4 + chunk("LIST", "INFOab")), 0,
       lines16 + " \"LIST\"の長さ: 6 [bytes]\n" + t0, fmtLen + dataLen4, 4, 44},
      {"fmt after data is read", riff(data4 + fmt16), 0, lines16 + t0, dataLen4 + fmtLen, 4, 20},
      {"control bytes in an id", riff(chunk("\x1b[2J", "") + fmt16 + data4), 0,
       " \"?[2J\"の長さ: 0 [bytes]\n" + lines16 + t0, fmtLen + dataLen4, 4, 52},
      {"odd chunks are padded",
       riff(chunk("LIST", "abc") + fmt16 + chunk("data", "abcde") + chunk("LIST", "x")), 0,
       " \"LIST\"の長さ: 3 [bytes]\n" + lines16 + " \"LIST\"の長さ: 1 [bytes]\n" + t0,
       fmtLen + "\n \"data\" の長さ: 5 [bytes]\n", 5, 56},
      {"pad missing at the end", riff(fmt16 + chunkRaw("data", 5, "abcde")), 0, lines16 + t0,
       fmtLen + "\n \"data\" の長さ: 5 [bytes]\n", 5, 44},
      {"no fmt", riff(data4), -1, "", dataLen4 + "'fmt ' が無い.\n"},
      {"no data", riff(fmt16), -1, lines16, fmtLen + "'data' が無い.\n"},
      {"zero bytes per second", riff(chunk("fmt ", fmtPayload(1, 2, 44100, 0, 4, 16)) + data4), 0,
       fmtLines(1, 2, 44100, 0, 4, 16) + t0, fmtLen + dataLen4, 4, 44},
  };
  const std::string path = tempPath("-scan.wav");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(path, c.file);
    WavInfo info{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int rc = wavHeaderRead(path.c_str(), &info);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(toUtf8(out), "\nファイル名[" + path + "]\n" + c.out);
    EXPECT_EQ(toUtf8(err), c.err);
    if (rc == 0) {
      EXPECT_EQ(info.dataSize, c.dataSize);
      EXPECT_EQ(info.dataOffset, c.dataOffset);
    }
  }
  std::remove(path.c_str());
}

}  // namespace
