// Writes the fuzzer's seed inputs, one per kind of file the tests build: ordinary
// pairs of both widths, the quirks the scan must handle, and the refusals.
//
//   wavpair_fuzz_seeds DIR
#include <string>

#include "../tests/fixture.h"

using namespace std::string_literals;

namespace {

// One fuzz input: flags, the first file's length, the two files.
Bytes seed(const Bytes& a, const Bytes& b, bool same = false) {
  return Bytes(1, char(same ? 1 : 0)) + u16(unsigned(a.size())) + a + b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: wavpair_fuzz_seeds DIR\n", stderr);
    return 2;
  }
  const Bytes a16 = wavFile(noise(16, 8000, 24, 1));
  const Bytes b16 = wavFile(noise(16, 8000, 10, 2));
  const Bytes a8 = wavFile(noise(8, 8000, 30, 3));
  const Bytes b8 = wavFile(noise(8, 8000, 31, 4));
  const Bytes fmt = chunk("fmt ", fmtPayload(1, 2, 8000, 32000, 4, 16));
  const Bytes list = chunk("LIST", "INFOINAM\5\0\0\0take\0"s);
  Pcm mono = noise(16, 8000, 8, 5);
  mono.channels = 1;
  Pcm partial = noise(16, 8000, 9, 6);
  partial.tail = "xy";
  const Bytes seeds[] = {
      seed(a16, b16),
      seed(b16, a16),
      seed(a8, b8),
      seed(a16, a16, true),
      seed(riff(fmt + list + chunk("data", pcmData(noise(16, 8000, 6, 7))) + list), b16),
      seed(riff(chunk("fmt ", fmtPayload(1, 2, 8000, 32000, 4, 16) + "\0\0"s) +
                chunk("odd!", "abc") + chunk("data", pcmData(partial))),
           b16),
      seed(wavFile(mono), b16),
      seed(riff(chunk("fmt ", fmtPayload(3, 2, 8000, 64000, 8, 32)) + chunk("data", "")), b16),
      seed(riff(chunk("fmt ", fmtPayload(1, 2, 8000, 48000, 6, 24)) + chunk("data", "")), b16),
      seed(riff(fmt), riff(chunk("data", "abcd"))),
      seed(riff(fmt + chunkRaw("data", 0xFFFFFFF0U, "abcdefgh")), b16),
      seed(riff(fmt + chunk("data", "abcd"), "RIFX"), b16),
      seed(a16, wavFile(noise(16, 11025, 10, 8))),
      seed(a8, b16),
      seed(riff(fmt.substr(0, 14)), ""),
  };
  int i = 0;
  for (const Bytes& s : seeds) {
    writeFile(std::string(argv[1]) + "/seed-" + std::to_string(i++), s);
  }
  return 0;
}
