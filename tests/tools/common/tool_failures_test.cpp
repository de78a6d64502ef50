// The three render commands on bad input, run as the artist runs them: as
// programs. Grouped by what is wrong; every case checks the exit status,
// that the one message names the file and what is wrong, and that no
// image, whole or partial, is left in the output folder.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command_test.h"

namespace {

namespace fs = std::filesystem;
using qv::test::contains;

const fs::path kExample = fs::path(QV_SOURCE_DIR) / "examples" / "matte";

struct Outcome {
  int status = -1;  // as waitpid gives it
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts `args` with standard error into errFile; `limitBytes`, when not
// 0, bounds the child's address space.
pid_t start(const std::vector<std::string>& args, const fs::path& errFile, rlim_t limitBytes = 0) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  if (limitBytes != 0) {
    const rlimit limit{limitBytes, limitBytes};
    ::setrlimit(RLIMIT_AS, &limit);
  }
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int none = ::open("/dev/null", O_RDWR);
  ::dup2(none, 0);
  ::dup2(none, 1);
  ::dup2(err, 2);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

Outcome runTool(const std::vector<std::string>& args, const fs::path& scratch,
                rlim_t limitBytes = 0) {
  const fs::path errFile = scratch / "stderr.txt";
  int status = 0;
  ::waitpid(start(args, errFile, limitBytes), &status, 0);
  Outcome result{status, slurp(errFile)};
  fs::remove(errFile);
  return result;
}

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// The bundled example copied into a scratch folder, to be broken there,
// with an empty folder for the images.
class ToolFailures : public ::testing::Test {
 protected:
  ToolFailures() : scratch_("tool_failures") {
    fs::create_directory(scene_);
    for (const auto& entry : fs::directory_iterator(kExample)) {
      fs::copy(entry.path(), scene_ / entry.path().filename());
    }
    fs::create_directory(out_);
  }

  fs::path scene(const char* name) const { return scene_ / name; }
  std::string image(const char* extension = ".png") const {
    return (out_ / ("frame" + std::string(extension))).string();
  }

  std::vector<std::string> qvray(const fs::path& vrscene) const {
    return {QV_QVRAY, "render", vrscene.string(), "-o",
            image(),  "--aov",  "seen::outMatte", "--quiet"};
  }
  std::vector<std::string> qvmray(const fs::path& mi) const {
    return {QV_QVMRAY, "render", mi.string(), "-o", image(), "--aov", "outMask0", "--quiet"};
  }
  std::vector<std::string> qvmaya(const fs::path& ma) const {
    return {QV_QVMAYA, "render", ma.string(), "-o", image(), "--quiet", "--cpu"};
  }

  // Status 1, one line that holds every part, no file in the image folder.
  void expectRefused(const std::vector<std::string>& args, const std::vector<std::string>& parts) {
    const Outcome r = runTool(args, scratch_.path());
    const std::string what = args[0] + " " + args[2];
    ASSERT_TRUE(WIFEXITED(r.status)) << what << " ended by signal " << WTERMSIG(r.status) << "\n"
                                     << r.err;
    EXPECT_EQ(WEXITSTATUS(r.status), 1) << what << "\n" << r.err;
    EXPECT_EQ(qv::test::lines(r.err).size(), 1u) << what << "\n" << r.err;
    for (const std::string& part : parts)
      EXPECT_TRUE(contains(r.err, part)) << part << "\n" << r.err;
    EXPECT_TRUE(listing(out_).empty()) << what << " left " << listing(out_)[0];
  }

  void replace(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = slurp(file);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << file;
    text.replace(at, from.size(), to);
    std::ofstream(file, std::ios::trunc) << text;
  }

  qv::test::ScratchDir scratch_;
  fs::path scene_ = scratch_.path() / "scene";
  fs::path out_ = scratch_.path() / "out";
};

// The scene as given renders in all three: the cases below break only
// what they say.
TEST_F(ToolFailures, TheCopiedExampleRenders) {
  for (const auto& args : {qvray(scene("example.vrscene")), qvmray(scene("example.mi")),
                           qvmaya(scene("example.ma"))}) {
    const Outcome r = runTool(args, scratch_.path());
    ASSERT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << args[0] << "\n" << r.err;
    EXPECT_TRUE(fs::exists(image())) << args[0];
    fs::remove_all(out_);
    fs::create_directory(out_);
  }
}

// Huge coordinates ---------------------------------------------------------

TEST_F(ToolFailures, GeometryBeyondTheTracersRangeIsRefusedBeforeAnyRay) {
  std::ofstream(scene("ground.obj"), std::ios::app) << "v 2e18 0 0\n";
  const std::vector<std::string> parts = {"ground", "2e+18", "beyond the 1e+15"};
  expectRefused(qvray(scene("example.vrscene")), parts);
  expectRefused(qvmray(scene("example.mi")), parts);
  expectRefused(qvmaya(scene("example.ma")), parts);
}

TEST_F(ToolFailures, ACameraBeyondTheTracersRangeIsRefused) {
  replace(scene("example.vrscene"), "Vector(13, 7, 17)); fov", "Vector(13, 7, 3e18)); fov");
  expectRefused(qvray(scene("example.vrscene")),
                {scene("example.vrscene").string() + ":6: ", "camera at z = 3e+18", "1e+15"});
}

// Too large ----------------------------------------------------------------

TEST_F(ToolFailures, ARenderSizeBeyondTheLimitIsRefusedWithBothSidesAndTheProduct) {
  replace(scene("example.vrscene"), "img_width=640; img_height=360;",
          "img_width=1000000; img_height=1000000;");
  expectRefused(qvray(scene("example.vrscene")),
                {scene("example.vrscene").string() + ":7: img_width 1000000 x img_height 1000000 "
                                                     "is 1000000000000 pixels, more than the "
                                                     "268435456 a render may have"});
  replace(scene("example.mi"), "resolution 640 360", "resolution 65536 65536");
  expectRefused(qvmray(scene("example.mi")),
                {scene("example.mi").string() + ":", "camera 'view'",
                 "65536 x 65536 is 4294967296 pixels, more than the 268435456 a render may have"});
}

// An 8-bit grey PNG whose header claims 32768 x 32768 pixels.
std::string hugePngHeader() {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  const unsigned char ihdr[] = {0, 0,    0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x80, 0, 0,
                                0, 0x80, 0, 8,  0,   0,   0,   0,   0, 0, 0,    0};
  png.append(reinterpret_cast<const char*>(ihdr), sizeof ihdr);
  const unsigned char iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  png.append(reinterpret_cast<const char*>(iend), sizeof iend);
  return png;
}

TEST_F(ToolFailures, APaintingWithTooManyPixelsIsRefusedByName) {
  std::ofstream(scene("painting.png"), std::ios::binary | std::ios::trunc) << hugePngHeader();
  const std::vector<std::string> parts = {
      "painting.png: 32768 x 32768 is 1073741824 pixels, more than the 268435456 an image may "
      "have"};
  expectRefused(qvray(scene("example.vrscene")), parts);
  expectRefused(qvmray(scene("example.mi")), parts);
}

TEST_F(ToolFailures, ASceneFileBeyondTheTextLimitIsRefusedWithoutReadingIt) {
  for (const char* name : {"example.vrscene", "example.mi", "example.ma"}) {
    fs::resize_file(scene(name), std::uintmax_t{300} << 20);
  }
  const std::string size = "300 MiB (314572800 bytes), more than the 256 MiB";
  expectRefused(qvray(scene("example.vrscene")), {scene("example.vrscene").string() + ": " + size});
  expectRefused(qvmray(scene("example.mi")), {scene("example.mi").string() + ": " + size});
}

TEST_F(ToolFailures, AMeshBeyondTheTextLimitIsRefusedByName) {
  fs::resize_file(scene("hall.obj"), std::uintmax_t{257} << 20);
  const std::vector<std::string> parts = {"hall.obj: 257 MiB", "more than the 256 MiB"};
  expectRefused(qvray(scene("example.vrscene")), parts);
  expectRefused(qvmray(scene("example.mi")), parts);
  expectRefused(qvmaya(scene("example.ma")), parts);
}

// Not a regular file ------------------------------------------------------

TEST_F(ToolFailures, AFifoOrADeviceOrAFolderIsRefusedAndNothingWaits) {
  const fs::path fifo = scene("pipe.vrscene");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  expectRefused(qvray(fifo), {fifo.string() + ": is a pipe (FIFO), not a regular file"});
  expectRefused(qvray("/dev/zero"), {"/dev/zero: is a device, not a regular file"});
  expectRefused(qvmray(scene_), {scene_.string() + ": is a folder, not a file"});
  fs::remove(scene("pole.obj"));
  ASSERT_EQ(::mkfifo(scene("pole.obj").c_str(), 0600), 0);
  const std::vector<std::string> parts = {"pole.obj: is a pipe (FIFO), not a regular file"};
  expectRefused(qvray(scene("example.vrscene")), parts);
  expectRefused(qvmray(scene("example.mi")), parts);
  expectRefused(qvmaya(scene("example.ma")), parts);
}

// What a message quotes ---------------------------------------------------

TEST_F(ToolFailures, ALongTokenOrABinaryFileIsQuotedCapped) {
  const std::string name(100000, 'n');
  const fs::path twice = scene("twice.vrscene");
  std::ofstream(twice) << "TexBitmap " << name << " { }\nTexBitmap " << name << " { }\n";
  expectRefused(qvray(twice), {twice.string() + ":2: plug-in '" + std::string(40, 'n') +
                               "...' is defined twice"});
  const Outcome r = runTool(qvray(twice), scratch_.path());
  EXPECT_LT(r.err.size(), 300u);

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
  const fs::path binary = scene("binary.vrscene");
  std::ofstream(binary, std::ios::binary) << garbage;
  const Outcome b = runTool(qvray(binary), scratch_.path());
  EXPECT_EQ(WEXITSTATUS(b.status), 1);
  EXPECT_TRUE(contains(b.err, binary.string() + ":1: ")) << b.err;
  EXPECT_LT(b.err.size(), binary.string().size() + 200) << b.err;
  for (char c : b.err) {
    EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << "unescaped byte " << int(c);
  }
  EXPECT_TRUE(listing(out_).empty());
}

// Out of memory -----------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QV_SANITIZED 1
#else
#define QV_SANITIZED 0
#endif

TEST_F(ToolFailures, RunningOutOfMemoryIsOneMessageAndLeavesNoFile) {
  if (QV_SANITIZED) GTEST_SKIP() << "sanitizers reserve more address space than the limit";
  // Within the limits, but 16384 x 16384 floats with an output are 8 GiB.
  replace(scene("example.vrscene"), "img_width=640; img_height=360;",
          "img_width=16384; img_height=16384;");
  const Outcome r = runTool(qvray(scene("example.vrscene")), scratch_.path(), rlim_t{2} << 30);
  ASSERT_TRUE(WIFEXITED(r.status)) << "signal " << WTERMSIG(r.status) << "\n" << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 1) << r.err;
  EXPECT_EQ(r.err,
            "qvray: " + scene("example.vrscene").string() + ": cannot render: not enough memory\n");
  EXPECT_TRUE(listing(out_).empty());
}

// A signal ----------------------------------------------------------------

TEST_F(ToolFailures, ARenderEndedBySignalLeavesNoFile) {
  replace(scene("example.vrscene"), "img_width=640; img_height=360;",
          "img_width=4096; img_height=4096;");
  replace(scene("example.mi"), "resolution 640 360", "resolution 4096 4096");
  const std::vector<std::vector<std::string>> renders = {
      qvray(scene("example.vrscene")), qvmray(scene("example.mi")), [&] {
        auto args = qvmaya(scene("example.ma"));
        for (const char* size : {"-w", "4096", "-h", "4096"}) args.push_back(size);
        return args;
      }()};
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    for (const auto& args : renders) {
      const pid_t child = start(args, scratch_.path() / "stderr.txt");
      // The temporary files exist from before the first ray to the end.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (listing(out_).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      ASSERT_FALSE(listing(out_).empty()) << args[0] << " wrote no temporary file";
      EXPECT_TRUE(contains(listing(out_)[0], ".partial.")) << listing(out_)[0];
      ::kill(child, number);
      int status = 0;
      ::waitpid(child, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status)) << args[0] << " exited " << WEXITSTATUS(status) << "\n"
                                       << slurp(scratch_.path() / "stderr.txt");
      EXPECT_EQ(WTERMSIG(status), number) << args[0];
      EXPECT_TRUE(listing(out_).empty()) << args[0] << " left " << listing(out_)[0];
    }
  }
}

}  // namespace
