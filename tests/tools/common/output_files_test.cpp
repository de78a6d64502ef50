// The render commands' output files: written under temporary names, moved
// into place all at once, and removed on every failure, a signal included.
#include "output_files.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_test.h"

namespace qv::tools {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutputFiles, NothingIsInPlaceUntilCommitAndThenEverything) {
  qv::test::ScratchDir dir("outputs");
  const std::string image = (dir.path() / "frame.png").string();
  const std::string aov = (dir.path() / "frame.matte.exr").string();
  OutputFiles files("qvtest");
  std::string error;
  ASSERT_TRUE(files.claim(image, &error)) << error;
  ASSERT_TRUE(files.claim(aov, &error)) << error;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.temporary(0), temporaryName(image, "qvtest"));
  EXPECT_EQ(fs::path(files.temporary(0)).extension(), ".png");
  EXPECT_EQ(fs::path(files.temporary(1)).extension(), ".exr");
  EXPECT_EQ(listing(dir.path()).size(), 2u);
  EXPECT_FALSE(fs::exists(image));
  std::ofstream(files.temporary(0)) << "image";
  std::ofstream(files.temporary(1)) << "aov";
  ASSERT_TRUE(files.commit(&error)) << error;
  EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"frame.matte.exr", "frame.png"}));
  std::ifstream in(image);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "image");
}

TEST(OutputFiles, AFailedRenderLeavesNoFileAndKeepsAnEarlierImage) {
  qv::test::ScratchDir dir("outputs");
  const std::string image = dir.write("frame.png", "earlier");
  {
    OutputFiles files("qvtest");
    std::string error;
    ASSERT_TRUE(files.claim(image, &error)) << error;
    std::ofstream(files.temporary(0)) << "half";
  }  // the render gave up
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"frame.png"});
  std::ifstream in(image);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier");

  // An exception unwinding through removes them as well.
  EXPECT_THROW(
      {
        OutputFiles files("qvtest");
        std::string error;
        files.claim((dir.path() / "other.png").string(), &error);
        throw std::bad_alloc();
      },
      std::bad_alloc);
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"frame.png"});
}

TEST(OutputFiles, APlaceThatCannotBeWrittenFailsAtClaim) {
  qv::test::ScratchDir dir("outputs");
  const std::string path = (dir.path() / "no" / "such" / "frame.png").string();
  OutputFiles files("qvtest");
  std::string error;
  EXPECT_FALSE(files.claim(path, &error));
  EXPECT_EQ(error, "cannot write " + path + ": No such file or directory");
  EXPECT_EQ(files.size(), 0u);
}

TEST(OutputFiles, ACommitThatFailsHalfWayRemovesWhatItMoved) {
  qv::test::ScratchDir dir("outputs");
  const std::string first = (dir.path() / "a.png").string();
  const std::string second = (dir.path() / "b.png").string();
  OutputFiles files("qvtest");
  std::string error;
  ASSERT_TRUE(files.claim(first, &error));
  ASSERT_TRUE(files.claim(second, &error));
  // A folder where the second image goes: the rename onto it fails.
  fs::create_directory(second);
  fs::create_directory(fs::path(second) / "keep");
  EXPECT_FALSE(files.commit(&error));
  EXPECT_EQ(error.rfind("cannot write " + second + ": ", 0), 0u) << error;
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"b.png"});
}

#if !defined(_WIN32)
// In a child, so that the signal ends that process only.
int dieOfSignal(const fs::path& dir, int number, bool ignored) {
  const pid_t child = ::fork();
  if (child == 0) {
    // The test process may have claimed files already: back to how a
    // tool starts.
    std::signal(number, ignored ? SIG_IGN : SIG_DFL);
    {
      OutputFiles files("qvtest");
      std::string error;
      if (!files.claim((dir / "frame.png").string(), &error) ||
          !files.claim((dir / "frame.aov.exr").string(), &error)) {
        ::_exit(3);
      }
      ::kill(::getpid(), number);
    }
    ::_exit(ignored ? 4 : 5);  // reached only when the signal is ignored
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(OutputFiles, ASignalRemovesTheTemporaryFilesAndStillEndsTheProcess) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    qv::test::ScratchDir dir("outputs_signal");
    const int status = dieOfSignal(dir.path(), number, false);
    ASSERT_TRUE(WIFSIGNALED(status)) << number << " status " << status;
    EXPECT_EQ(WTERMSIG(status), number);
    EXPECT_TRUE(listing(dir.path()).empty()) << number << ": " << listing(dir.path())[0];
  }
}

TEST(OutputFiles, ASignalTheProcessIgnoresStaysIgnored) {
  qv::test::ScratchDir dir("outputs_signal");
  const int status = dieOfSignal(dir.path(), SIGHUP, true);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4);
  EXPECT_TRUE(listing(dir.path()).empty());  // removed by the normal way out
}

#endif  // !_WIN32

TEST(Guard, AnEscapingExceptionBecomesOneMessageAndStatusOne) {
  std::ostringstream err;
  EXPECT_EQ(
      guard("qvtest", "scene.vrscene: cannot render", err, []() -> int { throw std::bad_alloc(); }),
      1);
  EXPECT_EQ(err.str(), "qvtest: scene.vrscene: cannot render: not enough memory\n");
  err.str("");
  EXPECT_EQ(
      guard("qvtest", "qvtest render", err, []() -> int { throw std::runtime_error("broken"); }),
      1);
  EXPECT_EQ(err.str(), "qvtest: qvtest render: broken\n");
  err.str("");
  EXPECT_EQ(guard("qvtest", "x", err, [] { return 2; }), 2);
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace qv::tools
