// The compiler half of the shader runner: glslangValidator as a child
// process, and the HLSL prelude of the runner's wrappers. The Vulkan half is
// shader_device.cpp.
#include "shader_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <cstdlib>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#ifndef QV_GLSLANG_VALIDATOR
#define QV_GLSLANG_VALIDATOR ""
#endif

namespace qv::gpu {
namespace {

namespace fs = std::filesystem;

// A fresh folder of its own under the system's temporary folder, removed
// with everything in it when this goes out of scope.
class ScratchDir {
 public:
  ScratchDir() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) return;
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      fs::path candidate = base / ("qv-shader-" + std::to_string(random()));
      if (fs::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs argv[0] with stdout and stderr going to `logPath`; the exit status,
// or -1 with *failure set when it could not be run or did not exit.
int runProcess(const std::vector<std::string>& argv, const fs::path& logPath,
               std::string* failure) {
#if defined(_WIN32)
  // Not exercised by the project's builds: cmd.exe wants the whole line in
  // one more pair of quotes.
  std::string line = "\"";
  for (const std::string& arg : argv) line += "\"" + arg + "\" ";
  line += "> \"" + logPath.string() + "\" 2>&1\"";
  int status = std::system(line.c_str());
  if (status == -1) *failure = "cannot run " + argv[0];
  return status;
#else
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *failure = "cannot run " + argv[0] + ": " + std::strerror(spawned);
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) {
      *failure = "cannot wait for " + argv[0] + ": " + std::strerror(errno);
      return -1;
    }
  }
  if (!WIFEXITED(status)) {
    *failure = argv[0] + " did not exit normally (status " + std::to_string(status) + ")";
    return -1;
  }
  return WEXITSTATUS(status);
#endif
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void replaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
    text->replace(at, from.size(), to);
}

const char* stageName(Stage stage) {
  switch (stage) {
    case Stage::kFragment:
      return "frag";
    case Stage::kCompute:
      return "comp";
    case Stage::kVertex:
      return "vert";
  }
  return "frag";
}

}  // namespace

const char* glslangValidatorPath() {
  return QV_GLSLANG_VALIDATOR;
}

namespace {

// glslangValidator on one source, HLSL (with its entry point) or GLSL.
ShaderCompile compile(const std::string& source, bool hlsl, const std::string& entryPoint,
                      Stage stage, bool dx9Compatible) {
  ShaderCompile result;
  try {
    if (!*glslangValidatorPath()) {
      result.log = "no glslangValidator was found when the project was configured";
      return result;
    }
    ScratchDir scratch;
    if (scratch.path().empty()) {
      result.log = "cannot make a temporary folder for the shader compiler";
      return result;
    }
    const fs::path sourcePath = scratch.path() / (hlsl ? "shader.hlsl" : "shader.glsl");
    const fs::path spirvPath = scratch.path() / "shader.spv";
    const fs::path logPath = scratch.path() / "log.txt";
    {
      std::ofstream out(sourcePath, std::ios::binary);
      out << source;
      if (!out.flush()) {
        result.log = "cannot write " + sourcePath.string();
        return result;
      }
    }
    std::vector<std::string> argv = {glslangValidatorPath(), "-V", "--spirv-val"};
    // glslangValidator always runs the SPIR-V optimizer over HLSL, which it
    // must legalize, and its folding rewrites arithmetic (a division by a
    // constant becomes a product, constant factors merge); -Os runs the same
    // passes over GLSL, so that the two languages reach the device alike.
    if (hlsl) {
      argv.insert(argv.end(), {"-D", "-e", entryPoint});
    } else {
      argv.push_back("-Os");
    }
    if (dx9Compatible) argv.push_back("--hlsl-dx9-compatible");
    argv.insert(argv.end(),
                {"-S", stageName(stage), "-o", spirvPath.string(), sourcePath.string()});

    std::string failure;
    const int status = runProcess(argv, logPath, &failure);
    result.log = readFile(logPath);
    // Messages name the source by its path; the folder is noise.
    replaceAll(&result.log, (scratch.path() / "").string(), "");
    if (status < 0) {
      result.log += failure;
      return result;
    }
    // glslangValidator reports what its validator finds but still exits 0.
    const bool invalid = result.log.find("Validation Errors") != std::string::npos;
    const std::string words = readFile(spirvPath);
    if (status != 0 || invalid || words.empty() || words.size() % 4 != 0) {
      if (status != 0)
        result.log += "glslangValidator exited with " + std::to_string(status) + "\n";
      return result;
    }
    result.spirv.resize(words.size() / 4);
    std::memcpy(result.spirv.data(), words.data(), words.size());
    result.ok = true;
  } catch (const std::exception& e) {
    result.ok = false;
    result.spirv.clear();
    result.log += std::string("shader compile failed: ") + e.what();
  }
  return result;
}

}  // namespace

ShaderCompile compileHlsl(const std::string& source, const std::string& entryPoint, Stage stage,
                          bool dx9Compatible) {
  return compile(source, true, entryPoint, stage, dx9Compatible);
}

ShaderCompile compileGlsl(const std::string& source, Stage stage) {
  return compile(source, false, "main", stage, false);
}

std::string hlslTextureName(uint32_t k) {
  return k == 0 ? "qvTexture" : "qvTexture" + std::to_string(k);
}

std::string hlslSamplerName(uint32_t k) {
  return k == 0 ? "qvSampler" : "qvSampler" + std::to_string(k);
}

std::string hlslPrelude(uint32_t textures) {
  std::string bindings;
  for (uint32_t k = 0; k < std::max(textures, 1u); ++k) {
    bindings += "[[vk::binding(" + std::to_string(2 + 2 * k) + ", 0)]] Texture2D " +
                hlslTextureName(k) + ";\n[[vk::binding(" + std::to_string(3 + 2 * k) +
                ", 0)]] SamplerState " + hlslSamplerName(k) + ";\n";
  }
  return R"(// qv shader runner prelude
[[vk::binding(0, 0)]] StructuredBuffer<float> qvInputs;
[[vk::binding(1, 0)]] RWStructuredBuffer<float> qvOutputs;
)" + bindings +
         R"([[vk::push_constant]] cbuffer QvRun { uint qvInvocationCount; uint qvFirstInvocation; };
static const uint qvGridQuads = )" +
         std::to_string(kGridQuads) + R"(;

uint qvQuadIndex(float4 fragCoord) {
  uint2 pixel = uint2(fragCoord.xy);
  return qvFirstInvocation + (pixel.y / 2) * qvGridQuads + pixel.x / 2;
}

uint qvInvocation(float4 fragCoord) {
  return min(qvQuadIndex(fragCoord), max(qvInvocationCount, 1) - 1);
}

bool qvWrites(float4 fragCoord) {
  uint2 pixel = uint2(fragCoord.xy);
  return ((pixel.x | pixel.y) & 1) == 0 && qvQuadIndex(fragCoord) < qvInvocationCount;
}
)";
}

std::string glslMapName(uint32_t k) {
  return "qvMap" + std::to_string(k);
}

std::string glslPrelude(uint32_t textures) {
  const uint32_t count = std::max(textures, 1u);
  std::string maps;
  for (uint32_t k = 0; k < count; ++k) {
    maps += "layout(set = 0, binding = " + std::to_string(2 + 2 * count + k) +
            ") uniform sampler2D " + glslMapName(k) + ";\n";
  }
  return R"(#version 450
// qv shader runner prelude
layout(std430, set = 0, binding = 0) readonly buffer QvInputs { float qvInputs[]; };
layout(std430, set = 0, binding = 1) buffer QvOutputs { float qvOutputs[]; };
)" + maps +
         R"(layout(push_constant) uniform QvRun { uint qvInvocationCount; uint qvFirstInvocation; };
const uint qvGridQuads = )" +
         std::to_string(kGridQuads) + R"(u;

uint qvQuadIndex(vec4 fragCoord) {
  uvec2 pixel = uvec2(fragCoord.xy);
  return qvFirstInvocation + (pixel.y / 2u) * qvGridQuads + pixel.x / 2u;
}

uint qvInvocation(vec4 fragCoord) {
  return min(qvQuadIndex(fragCoord), max(qvInvocationCount, 1u) - 1u);
}

bool qvWrites(vec4 fragCoord) {
  uvec2 pixel = uvec2(fragCoord.xy);
  return ((pixel.x | pixel.y) & 1u) == 0u && qvQuadIndex(fragCoord) < qvInvocationCount;
}
)";
}

}  // namespace qv::gpu
