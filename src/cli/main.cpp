// wavpair: folds two stereo WAV files to mono each and writes them as the two
// channels of one stereo WAV file.
#include <unistd.h>

#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // On a terminal the report and the error lines appear in the order they happen;
  // into a file or a pipe standard output stays block-buffered.
  if (isatty(STDOUT_FILENO) != 0) {
    // Should that fail, the stream stays buffered: only the order of lines suffers.
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  }
  return wavpairRun(argc, argv);
}
