#include <cstdio>

#include "cli/cli.h"
#include "combine/combine.h"
#include "messages.h"
#include "wav/wav.h"

namespace {

void usage() { std::fputs(msg::kUsage, stderr); }

}  // namespace

int wavpairRun(int argc, const char* const* argv) {
  if (argc != 4) {
    usage();
    return -1;
  }
  const char* names[2] = {argv[1], argv[2]};
  WavInfo infos[2] = {};
  // The first input is reported in full before the second is opened.
  if (wavHeaderRead(names[0], &infos[0]) != 0 || wavHeaderRead(names[1], &infos[1]) != 0) {
    return -1;
  }
  if (infos[0].channels != 2 || infos[1].channels != 2) {
    std::fputs(msg::kNotStereo, stderr);
    return -1;
  }
  if (wavCombine(names, argv[3], infos) != 0) {
    return -1;
  }
  std::printf(msg::kCombined, argv[1], argv[2], argv[3]);
  // Status 0 promises the whole report was delivered, the closing line included.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fputs(msg::kStdoutWrite, stderr);
    return -1;
  }
  return 0;
}
