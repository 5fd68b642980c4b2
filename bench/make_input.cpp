// Writes one benchmark input: SECONDS of noise, stereo PCM at 44.1 kHz, 8 or 16 bits,
// reproducible from SEED, so every run of the benchmark reads the same files.
//
//   wavpair_bench_input OUT SECONDS BITS SEED
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "wav/wav.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    static_cast<void>(std::fputs("usage: wavpair_bench_input OUT SECONDS BITS SEED\n", stderr));
    return 2;
  }
  const uint32_t rate = 44100;
  const auto seconds = static_cast<uint64_t>(std::strtoull(argv[2], nullptr, 10));
  const auto bits = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 10));
  uint64_t state = std::strtoull(argv[4], nullptr, 10) * 0x9E3779B97F4A7C15ULL + 1;
  const uint64_t bytes = seconds * rate * 2 * (bits / 8);
  if ((bits != 8 && bits != 16) || bytes > 0xFFFFFFFFULL - kWavHeaderSize) {
    static_cast<void>(
        std::fputs("wavpair_bench_input: 8 or 16 bits, under 4 GiB of audio\n", stderr));
    return 2;
  }
  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const WavInfo infos[2] = {
      {rate, bits, static_cast<uint32_t>(bytes), 2, rate * 2 * (bits / 8U), kWavHeaderSize}, {}};
  bool ok = wavHeaderWrite(out, infos) == kWavHeaderSize;
  std::vector<uint8_t> block(1 << 20);
  for (uint64_t left = bytes; ok && left > 0;) {
    const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
    for (size_t i = 0; i < n; ++i) {  // xorshift64: cheap, and no two blocks alike
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      block[i] = static_cast<uint8_t>(state >> 24);
    }
    ok = std::fwrite(block.data(), 1, n, out) == n;
    left -= n;
  }
  if (std::fclose(out) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
