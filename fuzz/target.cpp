// Feeds arbitrary bytes to whole runs over two inputs. The bytes become real files, so
// every path the tool takes on a file is reached; they live in build-fuzz/files, which
// fuzz/run.sh makes before it starts the fuzzer from the project's root.
//
// Input: byte 0 holds flags (bit 0: the second input is the first one again), bytes 1
// and 2 the length of the first file (little-endian, cut to what is there); the rest
// is the second file. Both files are scanned on their own as well, since a run stops
// at the first input it refuses.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "wav/wav.h"

namespace {

constexpr const char* kA = "build-fuzz/files/a.wav";
constexpr const char* kB = "build-fuzz/files/b.wav";
constexpr const char* kOut = "build-fuzz/files/out.wav";

void fileWrite(const char* name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name, "wb");
  // The fuzzer's own folder must take the files.
  if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t first = std::min<size_t>(getU16le(data + 1), size - 3);
  fileWrite(kA, data + 3, first);
  fileWrite(kB, data + 3 + first, size - 3 - first);
  WavInfo info{};
  wavHeaderRead(kA, &info);
  wavHeaderRead(kB, &info);
  const char* argv[] = {"wavpair", kA, (data[0] & 1U) != 0 ? kA : kB, kOut};
  wavpairRun(4, argv);
  static_cast<void>(std::remove(kOut));  // absent when the run refused early
  return 0;
}
