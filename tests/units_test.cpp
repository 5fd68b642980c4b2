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
#define WAVPAIR_CHECK(name, utf8, sjis) EXPECT_EQ(std::string(msg::name), toSjis(utf8)) << #name;
  WAVPAIR_MESSAGES(WAVPAIR_CHECK)
#undef WAVPAIR_CHECK
}

}  // namespace
