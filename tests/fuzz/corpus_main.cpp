// Runs a fuzz target on every file of the corpus directories given on the
// command line, without the fuzzing engine: the corpus as a regression test
// under any compiler. A failing check aborts, which fails the test. Paths
// are made absolute first: a target may change the working directory.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::size_t runs = 0;
  for (int k = 1; k < argc; ++k) {
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(argv[k]))
      if (entry.is_regular_file()) inputs.push_back(std::filesystem::absolute(entry.path()));
    if (inputs.empty()) {
      std::fprintf(stderr, "%s holds no corpus file\n", argv[k]);
      return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
      std::ifstream in(path, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++runs;
    }
  }
  std::printf("%zu corpus inputs ran\n", runs);
  return runs > 0 ? 0 : 1;
}
