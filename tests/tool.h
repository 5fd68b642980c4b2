// Runs the built tool as a user would: in a folder of its own, through the shell.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"

// Runs the tool in cwd with args; standard output and error are caught in files in
// cap. With unprivileged, a run as root drops to nobody first, so that permissions
// bind it; a copy of the binary in cap keeps it reachable from any checkout.
// *status is the exit status, or -1 when the tool did not exit normally.
inline Console runTool(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                       const std::filesystem::path& cap, int* status, bool unprivileged = false) {
  std::string bin = WAVPAIR_BIN;
  std::string prefix;
  if (unprivileged && geteuid() == 0) {
    const std::filesystem::path copy = cap / "wavpair";
    std::filesystem::copy_file(bin, copy, std::filesystem::copy_options::overwrite_existing);
    bin = copy.string();
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  // No test name holds a quote.
  std::string cmd = "cd '" + cwd.string() + "' && " + prefix + "'" + bin + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >'" + (cap / "out").string() + "' 2>'" + (cap / "err").string() + "' </dev/null";
  const int st = std::system(cmd.c_str());
  *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return {readFile((cap / "out").string()), readFile((cap / "err").string())};
}
