// A 2.5 GiB input, sparse on disk, whose audio is followed by a LIST chunk: found,
// timed and combined in full. Slow by nature; `ctest -L big` runs it alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "fixture.h"
#include "tool.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kData = 5ULL << 29;  // 2.5 GiB of 16-bit stereo frames

Bytes readAt(const fs::path& p, uint64_t at, size_t n) {
  std::ifstream f(p, std::ios::binary);
  f.seekg(std::streamoff(at));
  Bytes b(n, '\0');
  f.read(b.data(), std::streamsize(n));
  return b.substr(0, size_t(f.gcount()));
}

Bytes frame16(int l, int r) { return u16(unsigned(l) & 0xFFFF) + u16(unsigned(r) & 0xFFFF); }
int fold(int l, int r) { return int(std::floor((l + r) / 2.0)); }

TEST(BigInput, TwoAndAHalfGiBOfAudioThenAList) {
  const fs::path root = fs::temp_directory_path() / ("wavpair-big-" + std::to_string(getpid()));
  if (fs::space(fs::temp_directory_path()).available < kData + (512ULL << 20)) {
    GTEST_SKIP() << "needs 3 GiB free in " << fs::temp_directory_path() << " for the output";
  }
  fs::create_directories(root / "work");
  const fs::path dir = root / "work";
  // Three known frames at each end of A's audio; the rest is a hole that reads as zeros.
  const Bytes head = frame16(1000, -3) + frame16(-32768, -32768) + frame16(7, 8);
  const Bytes tail = frame16(-5, 2) + frame16(32767, 32767) + frame16(-1, -2);
  const Bytes list = chunk("LIST", "INFOISFT");
  {
    std::ofstream a(dir / "a.wav", std::ios::binary);
    a << "RIFF" << u32(uint32_t(36 + kData + list.size())) << "WAVE"
      << chunk("fmt ", fmtPayload(1, 2, 44100, 176400, 4, 16)) << "data" << u32(uint32_t(kData))
      << head;
    a.seekp(std::streamoff(44 + kData - tail.size()));
    a << tail << list;
  }
  const Pcm b = noise(16, 44100, 1000, 7);
  writeFile((dir / "b.wav").string(), wavFile(b));

  int status = 0;
  const Console r = runTool(dir, {"a.wav", "b.wav", "out.wav"}, root, &status);
  EXPECT_EQ(status, 0);
  const std::string out = toUtf8(r.out), err = toUtf8(r.err);
  EXPECT_NE(out.find(" \"LIST\"の長さ: 8 [bytes]\n"), std::string::npos) << out;
  EXPECT_NE(out.find(seconds(double(kData) / 176400)), std::string::npos) << out;
  EXPECT_NE(err.find("\"data\" の長さ: -1610612736 [bytes]"), std::string::npos) << err;

  // The input is read, never written: its ends and its size are as they were.
  EXPECT_EQ(fs::file_size(dir / "a.wav"), 44 + kData + list.size());
  EXPECT_EQ(readAt(dir / "a.wav", 44, head.size()), head);
  EXPECT_EQ(readAt(dir / "a.wav", 44 + kData - tail.size(), 64), tail + list);
  EXPECT_TRUE(readFile((dir / "b.wav").string()) == wavFile(b));

  const fs::path o = dir / "out.wav";
  EXPECT_EQ(fs::file_size(o), 44 + kData);
  EXPECT_EQ(readAt(o, 0, 44), "RIFF" + u32(uint32_t(36 + kData)) + "WAVE" +
                                  chunk("fmt ", fmtPayload(1, 2, 44100, 176400, 4, 16)) + "data" +
                                  u32(uint32_t(kData)));
  const auto bFold = [&b](size_t i) { return fold(b.samples[2 * i], b.samples[2 * i + 1]); };
  EXPECT_EQ(readAt(o, 44, 12), frame16(fold(1000, -3), bFold(0)) + frame16(-32768, bFold(1)) +
                                   frame16(fold(7, 8), bFold(2)));
  EXPECT_EQ(readAt(o, 44 + 999 * 4, 8), frame16(0, bFold(999)) + frame16(0, 0));
  EXPECT_EQ(readAt(o, 44 + kData - 12, 16),
            frame16(fold(-5, 2), fold(-5, 2)) + frame16(32767, 32767) + frame16(-2, -2));
  fs::remove_all(root);
}

}  // namespace
