// Runs the fuzz target over files and folders of saved inputs, so any build (g++ as
// well as clang) replays every input the fuzzer ever kept. A crash or a sanitizer
// report ends the process, and with it the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  // The tool's report would drown the test log; its messages on stderr stay.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i])) {
        if (e.is_regular_file()) files.push_back(e.path());
      }
    } else {
      files.emplace_back(argv[i]);
    }
    for (const auto& p : files) {
      std::ifstream in(p, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++count;
    }
  }
  std::fprintf(stderr, "replayed %zu inputs\n", count);
  return count > 0 ? 0 : 1;
}
