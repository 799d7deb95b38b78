// Runs saved inputs through a fuzz target's entry point once each, without libFuzzer:
//   fuzz_replay_<target> PATH...
// A PATH is an input file or a directory of them (names starting with "." or "README"
// are skipped). Each input is handed over in a heap buffer of exactly its size, so the
// sanitizers see reads past its end. Fails when the target returns non-zero, crashes or
// throws, when a PATH is missing, or when there was nothing to replay.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    if (fs::is_regular_file(path)) {
      inputs.push_back(path);
    } else if (fs::is_directory(path)) {
      for (const auto& entry : fs::directory_iterator(path)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.starts_with('.') && !name.starts_with("README"))
          inputs.push_back(entry.path());
      }
    } else {
      std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "nothing to replay\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) {
    // Named first, so that a crash shows which input caused it.
    std::fprintf(stderr, "%s\n", path.c_str());
    std::ifstream file(path, std::ios::binary);
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
    if (!file.read(reinterpret_cast<char*>(data.get()), static_cast<std::streamsize>(size))) {
      std::fprintf(stderr, "cannot read it\n");
      return 2;
    }
    if (LLVMFuzzerTestOneInput(data.get(), size) != 0) {
      std::fprintf(stderr, "the target rejected it\n");
      return 1;
    }
  }
  std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
  return 0;
}
