#include "support/test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "driver/mine_cli.h"

namespace zub::test {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("zub-test-" + std::to_string(rd()) + std::to_string(attempt));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {
std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}
}  // namespace

ProcessResult run_program(const std::string& binary, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& stdin_path) {
  TempDir capture;
  // Built by appending: GCC 12 warns falsely (-Wrestrict) on chained operator+.
  std::string command = "cd ";
  command.append(quote(cwd.string())).append(" && ").append(quote(binary));
  for (const auto& a : args) command.append(" ").append(quote(a));
  command.append(" >").append(quote(capture.file("out")));
  command.append(" 2>").append(quote(capture.file("err")));
  command.append(" <").append(quote(stdin_path.empty() ? "/dev/null" : stdin_path));
  const int raw = std::system(command.c_str());
  ProcessResult result;
  if (WIFEXITED(raw))
    result.status = WEXITSTATUS(raw);
  else if (WIFSIGNALED(raw))
    result.status = 128 + WTERMSIG(raw);
  result.out = capture.read("out");
  result.err = capture.read("err");
  return result;
}

namespace {
// A stream that collects what is written to it in memory.
struct MemoryStream {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&data, &size);
  MemoryStream() {
    if (file == nullptr) throw std::runtime_error("no memory stream");
  }
  ~MemoryStream() {
    if (file != nullptr) std::fclose(file);
    std::free(data);
  }
  std::string take() {
    std::fclose(file);
    file = nullptr;
    return std::string(data, size);
  }
};
}  // namespace

int run_mine_in_process(const std::vector<std::string>& args, std::string* out, std::string* err) {
  std::vector<std::string> owned{"zub-mine"};
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : owned) argv.push_back(a.data());
  MemoryStream out_stream, err_stream;
  const int status = zub_mine_main(static_cast<int>(argv.size()), argv.data(), out_stream.file, err_stream.file);
  const std::string o = out_stream.take(), e = err_stream.take();
  if (out != nullptr) *out = o;
  if (err != nullptr) *err = e;
  return status;
}

std::string data_dir() {
  const char* env = std::getenv("ZUB_DATA_DIR");
  std::filesystem::path dir = env != nullptr ? env : ZUB_DATA_DIR;
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? dir.string() : std::string();
}

}  // namespace zub::test
