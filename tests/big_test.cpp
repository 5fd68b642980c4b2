// A 2.5 GiB input, sparse on disk, whose audio is followed by a LIST chunk: found,
// timed and combined in full, and left as it was. `ctest -L big` runs it alone.
#include <unistd.h>

#include "fixture.h"

namespace {

constexpr uint64_t kData = 5ULL << 29;  // 2.5 GiB of 16-bit stereo frames

Bytes readAt(const fs::path& p, uint64_t at, size_t n) {
  std::ifstream f(p, std::ios::binary);
  Bytes b(n, '\0');
  f.seekg(std::streamoff(at)).read(b.data(), std::streamsize(n));
  return b.substr(0, size_t(f.gcount()));
}

Bytes samples(const std::vector<int>& v) { return Pcm{16, 44100, v}.data(); }

TEST(BigInput, TwoAndAHalfGiBOfAudioThenAList) {
  const fs::path dir = fs::temp_directory_path() / ("wavpair-big-" + std::to_string(getpid()));
  if (fs::space(fs::temp_directory_path()).available < kData + (512ULL << 20)) {
    GTEST_SKIP() << "needs 3 GiB free in " << fs::temp_directory_path() << " for the output";
  }
  fs::create_directories(dir / "work");
  // Known frames at each end of A's audio; between them a hole that reads as zeros.
  const Bytes head = samples({1000, -3, -32768, -32768}), tail = samples({32767, 32767, -1, -2});
  const Bytes list = chunk("LIST", "INFOISFT"), fmt = fmtChunk(1, 2, 44100, 176400, 16);
  const fs::path a = dir / "work/a.wav", b = dir / "work/b.wav", o = dir / "work/out.wav";
  std::ofstream(a, std::ios::binary) << "RIFF" << u32(uint32_t(36 + kData + list.size())) << "WAVE"
                                     << fmt << "data" << u32(uint32_t(kData)) << head << std::flush;
  std::ofstream(a, std::ios::binary | std::ios::in).seekp(std::streamoff(36 + kData))
      << tail << list;
  writeFile(b, riff(fmt + chunk("data", samples({6, 9, -7, 0}))));

  Console got;
  EXPECT_EQ(runTool(dir / "work", {"a.wav", "b.wav", "out.wav"}, &got), 0);
  EXPECT_NE(toUtf8(got.out).find(" \"LIST\"の長さ: 8 [bytes]"), std::string::npos);
  EXPECT_NE(toUtf8(got.out).find("時間=15217.429"), std::string::npos);
  EXPECT_NE(toUtf8(got.err).find("\"data\" の長さ: -1610612736 [bytes]"), std::string::npos);
  EXPECT_EQ(readAt(a, 44, 8) + readAt(a, 36 + kData, 64), head + tail + list);  // as it was
  EXPECT_EQ(fs::file_size(o), 44 + kData);
  EXPECT_EQ(readAt(o, 0, 56), "RIFF" + u32(uint32_t(36 + kData)) + "WAVE" + fmt + "data" +
                                  u32(uint32_t(kData)) + samples({498, 7, -32768, -4, 0, 0}));
  EXPECT_EQ(readAt(o, 36 + kData, 16), samples({32767, 32767, -2, -2}));
  fs::remove_all(dir);
}

}  // namespace
