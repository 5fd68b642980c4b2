// wavpair: folds two stereo WAV files to mono each and writes them as the two
// channels of one stereo WAV file.
#include "cli/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platformStart();
  return wavpairRun(argc, argv);
}
