// The output file of zub and zub-mine: written as a temporary beside it and
// put in its place only when the run has succeeded, so that a failed or
// killed run leaves the earlier output, never a part of its own that looks
// whole. (Failing runs of both programs are rows of the hostile-input table.)
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "common/run_error.h"
#include "io/output_file.h"
#include "support/test_support.h"

namespace zub {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

const std::regex kTemporary(R"(\.out\.zub-[A-Za-z0-9]{6})");

// The names in `dir`, sorted.
std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void put(const OutputFile& f, const char* text) { ASSERT_GE(std::fputs(text, f.stream()), 0); }

TEST(OutputFile, TakesTheOutputsPlaceOnlyOnCommit) {
  TempDir dir;
  dir.write("out", "old\n");
  fs::permissions(dir.path() / "out", fs::perms::owner_read | fs::perms::owner_write);
  const mode_t umask_before = umask(027);
  {
    OutputFile f(dir.file("out"));
    ASSERT_TRUE(f.is_open());
    ASSERT_EQ(fs::path(f.temporary()).parent_path(), dir.path()) << "the temporary lies beside the output";
    EXPECT_TRUE(std::regex_match(fs::path(f.temporary()).filename().string(), kTemporary)) << f.temporary();
    put(f, "new\n");
    std::fflush(f.stream());
    EXPECT_EQ(dir.read("out"), "old\n");
    f.commit();
  }
  EXPECT_EQ(dir.read("out"), "new\n");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out"});
  // The mode of a file made now, not mkstemp's 0600 nor the old file's.
  EXPECT_EQ(fs::status(dir.path() / "out").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    OutputFile dropped(dir.file("out"));
    put(dropped, "lost\n");
    OutputFile fresh(dir.file("fresh"));
    put(fresh, "lost\n");
    EXPECT_FALSE(dir.exists("fresh")) << "an output that did not exist appears on commit";
  }  // neither committed: a failed run
  umask(umask_before);
  EXPECT_EQ(dir.read("out"), "new\n");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"out"});

  // A rename that fails (here the temporary is gone) keeps the output.
  OutputFile f(dir.file("out"));
  put(f, "lost\n");
  fs::remove(f.temporary());
  try {
    f.commit();
    ADD_FAILURE() << "commit without its temporary";
  } catch (const RunError& e) {
    EXPECT_EQ(e.status(), kExitFile);
    EXPECT_EQ(e.what(), dir.file("out") + " could not be written!");
  }
  EXPECT_EQ(dir.read("out"), "new\n");
}

TEST(OutputFile, FollowsLinksToFilesAndWritesStreamsInPlace) {
  TempDir dir;
  fs::create_directory(dir.path() / "sub");
  dir.write("sub/real", "old\n");
  fs::create_symlink("sub/real", dir.path() / "link");  // relative to the link's folder
  {
    OutputFile f(dir.file("link"));
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(fs::path(f.temporary()).parent_path(), dir.path() / "sub");
    put(f, "new\n");
    f.commit();
  }
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(dir.read("sub/real"), "new\n");

  // An open stream named through /proc (as /dev/stdout is) is written
  // where it stands, even when it is a regular file.
  const int fd = open(dir.file("stream").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  ASSERT_GE(fd, 0);
  for (const std::string& path : {"/proc/self/fd/" + std::to_string(fd), "/dev/fd/" + std::to_string(fd)}) {
    OutputFile f(path);
    ASSERT_TRUE(f.is_open()) << path;
    EXPECT_EQ(f.temporary(), "") << path;
    put(f, "x\n");
    f.commit();
  }
  close(fd);
  EXPECT_EQ(dir.read("stream"), "x\n");  // each run truncates it, as fopen(path, "w") does
  OutputFile null("/dev/null");
  EXPECT_TRUE(null.is_open());
  EXPECT_EQ(null.temporary(), "");
  EXPECT_FALSE(OutputFile(dir.file("sub")).is_open());
  EXPECT_FALSE(OutputFile(dir.file("missing/out")).is_open());
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"link", "stream", "sub"}));
}

// Two lines of 30 ids: 2^30 - 1 frequent itemsets, written until the signal
// comes; the file-size limit stops a run that the signal would miss.
TEST(OutputFile, AKilledRunLeavesTheEarlierOutput) {
  TempDir dir;
  std::string line;
  for (int id = 0; id < 30; ++id) line += std::to_string(id) + " ";
  dir.write("db", line + "\n" + line + "\n");
  const std::string stale = "1 2 3 (99)\n";
  test::RunOptions limited;
  limited.file_size = 256ULL << 20;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    dir.write("out", stale);
    test::StartedProgram run(test::zub_mine_binary(), {"--target", "all", "--threads", "1", "db", "1", "out"},
                             dir.path(), limited);
    // Until whole lines reach the temporary: a run that is writing.
    std::string temporary;
    while (temporary.empty() && !run.ended()) {
      for (const std::string& name : names_in(dir.path()))
        if (std::regex_match(name, kTemporary) && fs::file_size(dir.path() / name) >= 65536) temporary = name;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_NE(temporary, "") << "the run ended before it was killed: " << run.wait().err;
    EXPECT_EQ(dir.read("out"), stale) << "the output is untouched while the run writes";
    // Only its start: the run goes on writing (hundreds of megabytes a
    // second) and could reach the size limit while a whole copy is searched.
    std::string start(4096, '\0');
    std::ifstream(dir.path() / temporary).read(start.data(), static_cast<std::streamsize>(start.size()));
    ASSERT_EQ(kill(run.pid(), signal), 0);
    EXPECT_TRUE(std::regex_search(start, std::regex(R"(^([0-9]+ )+\(2\)\n([0-9]+ )+\(2\)\n)")));
    EXPECT_EQ(run.wait().status, 128 + signal) << strsignal(signal);
    EXPECT_EQ(dir.read("out"), stale) << strsignal(signal);
    // A signal that can be caught removes the temporary; after SIGKILL it
    // stays, a dot file that is not the output.
    std::vector<std::string> left = {"db", "out"};
    if (signal == SIGKILL) left.insert(left.begin(), temporary);
    EXPECT_EQ(names_in(dir.path()), left) << strsignal(signal);
    fs::remove(dir.path() / temporary);
  }
}

}  // namespace
}  // namespace zub
