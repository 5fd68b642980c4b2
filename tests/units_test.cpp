// The pieces that are checked best without a process: the folds and the message table.
#include "combine/combine.h"
#include "fixture.h"
#include "messages.h"

namespace {

// Every pair of 8-bit samples, as A's frame and, standing in for B, as B's.
TEST(Fold, EightBitMatchesFloorOfMeanForEveryPair) {
  std::vector<uint8_t> in(2 * 65536), out(in.size());
  for (size_t k = 0; k < in.size(); ++k) in[k] = uint8_t(k % 2 ? k >> 9 : k >> 1);
  wavBlockFold8(in.data(), in.data(), out.data(), 65536);
  for (int k = 0; k < 65536; ++k) {
    ASSERT_EQ(out[2 * k], ((k & 0xFF) + (k >> 8)) / 2) << (k & 0xFF) << " " << (k >> 8);
    ASSERT_EQ(out[2 * k + 1], out[2 * k]) << "as B";
  }
}

TEST(Messages, AreTheShiftJisOfTheirTexts) {
  for (const Message* m : msg::kAll) EXPECT_EQ(std::string(m->sjis), toSjis(m->utf8)) << m->utf8;
}

// The RIFF size field holds data + 36 and stops at 0xFFFFFFFF instead of wrapping.
TEST(Header, RiffSizeIsCappedNearFourGiB) {
  for (const auto& [data, riffSize] :
       std::vector<std::pair<uint32_t, uint32_t>>{{1764000, 1764036},
                                                  {0xFFFFFFD8U, 0xFFFFFFFCU},
                                                  {0xFFFFFFDCU, 0xFFFFFFFFU},
                                                  {0xFFFFFFFCU, 0xFFFFFFFFU}}) {
    const WavInfo infos[2] = {{44100, 16, data, 2, 176400, 44}, {}};
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(wavHeaderWrite(f, infos), kWavHeaderSize);
    uint8_t h[kWavHeaderSize] = {};
    std::rewind(f);
    EXPECT_EQ(std::fread(h, sizeof h, 1, f), 1U);
    std::fclose(f);
    EXPECT_EQ(getU32le(h + 4), riffSize) << data;
    EXPECT_EQ(getU32le(h + 40), data) << data;
  }
}

}  // namespace
