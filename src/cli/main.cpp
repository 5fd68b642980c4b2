// wavpair: folds two stereo WAV files to mono each and writes them as the two
// channels of one stereo WAV file.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"

#ifdef _WIN32
// The entry on Windows (linked with -municode): the arguments in UTF-16, as the C
// runtime split the command line, without the loss of every character outside the
// ANSI code page that main's would carry. They are held as UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args(static_cast<size_t>(argc));
  std::vector<const char*> argv(args.size() + 1, nullptr);
  for (size_t i = 0; i < args.size(); ++i) {
    args[i] = platformArgument(wargv[i]);
    argv[i] = args[i].c_str();
  }
  platformStart();
  return wavpairRun(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  platformStart();
  return wavpairRun(argc, argv);
}
#endif
