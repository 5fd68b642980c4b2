// Every prefix of a valid input, given as the first and as the second input: the tool
// ends with 0 or 255, and what it writes is what a frame-at-a-time reading gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fixture.h"
#include "tool.h"

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

TEST(Truncation, EveryPrefixEndsCleanlyAndAgreesFrameByFrame) {
  const fs::path root = fs::temp_directory_path() / ("wavpair-cut-" + std::to_string(getpid()));
  fs::create_directories(root / "work");
  const fs::path dir = root / "work";
  for (const unsigned bits : {8U, 16U}) {
    const Pcm pcm[2] = {noise(bits, 8000, 12, bits), noise(bits, 8000, 7, bits + 1)};
    const Bytes list = chunk("LIST", "INFOIART\4\0\0\0abc\0"s);  // after the audio
    const Bytes full[2] = {wavFile(pcm[0]) + list, wavFile(pcm[1]) + list};
    const Bytes whole = expectedOutput(pcm[0], pcm[1]);  // A is the longer one
    const size_t s = 2 * (bits / 8), audio = 44;         // frame size, audio offset
    const size_t m = pcm[0].samples.size() / 2, n = pcm[1].samples.size() / 2;
    for (int cutInput = 0; cutInput < 2; ++cutInput) {
      for (size_t cut = 0; cut <= full[cutInput].size(); ++cut) {
        SCOPED_TRACE(std::to_string(bits) + "-bit, input " + std::to_string(cutInput + 1) +
                     " cut to " + std::to_string(cut) + " bytes");
        fs::remove(dir / "out.wav");
        const Bytes in[2] = {cutInput == 0 ? full[0].substr(0, cut) : full[0],
                             cutInput == 1 ? full[1].substr(0, cut) : full[1]};
        writeFile((dir / "a.wav").string(), in[0]);
        writeFile((dir / "b.wav").string(), in[1]);
        int status = 0;
        runTool(dir, {"a.wav", "b.wav", "out.wav"}, root, &status);
        EXPECT_TRUE(readFile((dir / "a.wav").string()) == in[0] &&
                    readFile((dir / "b.wav").string()) == in[1])
            << "an input changed";
        if (cut < audio) {  // the scan cannot reach the audio: refused before any output
          EXPECT_EQ(status, 255);
          EXPECT_FALSE(fs::exists(dir / "out.wav"));
          continue;
        }
        // Frames come out until the first one whose bytes are missing.
        const size_t held = (cut - audio) / s;
        const size_t frames = cutInput == 0 ? std::min(m, held) : (held < n ? held : m);
        EXPECT_EQ(status, frames == m ? 0 : 255);
        EXPECT_TRUE(readFile((dir / "out.wav").string()) == whole.substr(0, audio + frames * s));
      }
    }
  }
  fs::remove_all(root);
}

}  // namespace
