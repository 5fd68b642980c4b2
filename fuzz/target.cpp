// Feeds arbitrary bytes to the scan and to whole runs over two inputs. The bytes become
// real files in a private folder, so every path the tool takes on a file is reached.
//
// Input: byte 0 holds flags (bit 0: the second input is the first one again), bytes 1
// and 2 the length of the first file (little-endian, cut to what is there); the rest
// is the second file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli.h"
#include "wav/wav.h"

namespace {

struct Folder {
  std::string a, b, out;
};

void folderRemove();

const Folder& folder() {
  static const Folder f = [] {
    char dir[] = "/tmp/wavpair-fuzz.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    const std::string d = dir;
    return Folder{d + "/a.wav", d + "/b.wav", d + "/out.wav"};
  }();
  // Without the hook the folder stays behind in /tmp; the fuzzing goes on regardless.
  static const bool cleanup = std::atexit(folderRemove) == 0;
  static_cast<void>(cleanup);
  return f;
}

void folderRemove() {
  const Folder& f = folder();
  // Best effort on the way out: a file that is gone already is no loss.
  for (const std::string* p : {&f.a, &f.b, &f.out}) static_cast<void>(std::remove(p->c_str()));
  rmdir(f.a.substr(0, f.a.rfind('/')).c_str());
}

bool fileWrite(const std::string& name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool same = (data[0] & 1U) != 0;
  size_t first = getU16le(data + 1);
  data += 3;
  size -= 3;
  if (first > size) first = size;
  const Folder& f = folder();
  if (!fileWrite(f.a, data, first) || !fileWrite(f.b, data + first, size - first)) {
    std::abort();  // the fuzzer's own folder must take the files
  }
  // Each scan on its own first: a whole run stops at the first input it refuses.
  WavInfo info = {};
  wavHeaderRead(f.a.c_str(), &info);
  info = {};
  wavHeaderRead(f.b.c_str(), &info);
  const char* argv[] = {"wavpair", f.a.c_str(), same ? f.a.c_str() : f.b.c_str(), f.out.c_str()};
  wavpairRun(4, argv);
  static_cast<void>(std::remove(f.out.c_str()));  // absent when the run refused early
  return 0;
}
