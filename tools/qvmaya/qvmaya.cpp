#include "qvmaya.h"

#include "command_line.h"
#include "render.h"
#include "session.h"
#include "text_file.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#ifndef QV_DEFAULT_PLUGIN_DIR
#define QV_DEFAULT_PLUGIN_DIR "."
#endif

namespace qv::qvmaya {

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: qvmaya [FILE.mel|FILE.ma]...\n"
    "       qvmaya render SCENE.ma -o IMAGE [--camera NAME] [-w W] [-h H] [--quiet] [--cpu]\n"
    "  Runs MEL scripts and Maya ASCII files ('-' or no file: standard input).\n"
    "  Commands, each ending with ';':\n"
    "    loadPlugin \"PATH\"\n"
    "    unloadPlugin [-f] \"NAME\"      (refused while its nodes exist; -f keeps them\n"
    "                                    as unknown nodes, saved as they were)\n"
    "    requires \"NAME\" \"VERSION\"   (from MAYA_PLUG_IN_PATH, else the build's plug-ins)\n"
    "    createNode TYPE [-n NAME] [-p PARENT] [-s] [-ss]\n"
    "    setAttr NODE.ATTR [-type double3|float3|string|matrix|...] VALUE...\n"
    "    getAttr [-size] NODE.ATTR      (-size: the elements of an array)\n"
    "    connectAttr SRC.ATTR DST.ATTR [-na] [-f]  (ATTR[i]: an array's element; -na:\n"
    "                                    the element after the last one)\n"
    "    disconnectAttr SRC.ATTR DST.ATTR\n"
    "    delete NODE...\n"
    "    file -save PATH                (Maya ASCII; also file -rename PATH)\n"
    "    file -open PATH                (a new scene from the file; plug-ins stay loaded)\n"
    "    ogs -refresh                   (one Viewport 2.0 draw update of every node)\n"
    "    ogs -dump NODE                 (the node's viewport shader: fragment, the\n"
    "                                    implementation it was built from, parameters,\n"
    "                                    samplers and textures)\n"
    "    source \"FILE.mel\"              (its global procs: plain commands, one string\n"
    "                                    parameter; AE templates call editorTemplate)\n"
    "    qvAELayout NODE                (runs AE<type>Template NODE, sourced or from\n"
    "                                    MAYA_SCRIPT_PATH, and prints the Attribute\n"
    "                                    Editor layout: sections, controls, suppressed)\n"
    "    pluginInfo -q -loaded|-version|-vendor|-dependNode NAME\n"
    "    select -ne :NAME               (what relative setAttr lines set next)\n"
    "    rename -uid, addAttr, lockNode, relationship, dataStructure, applyMetadata,\n"
    "    fileInfo, parent -add, file -rdi/-r  (kept and saved again, as Maya saves them)\n"
    "    currentUnit ...                (centimetres and degrees)\n"
    "  render: the Viewport 2.0 preview of the scene through a camera, as PNG or\n"
    "  OpenEXR by IMAGE's extension (see `qvmaya render --help`).\n";

const tools::Tool kTool = {"qvmaya", kUsage};

#if defined(_WIN32)
const char kPathSeparator = ';';
#else
const char kPathSeparator = ':';
#endif

}  // namespace

std::vector<std::string> pluginSearchPath() {
  const char* variable = std::getenv("MAYA_PLUG_IN_PATH");
  if (!variable) return {QV_DEFAULT_PLUGIN_DIR};
  std::vector<std::string> folders;
  std::istringstream list(variable);
  for (std::string folder; std::getline(list, folder, kPathSeparator);) {
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

int withScene(const std::string& path, std::ostream& out, std::ostream& err, const SceneUser& use) {
  Session session(out, err);
  session.stopAtFirstError();
  if (!session.openScene(path)) {
    err << "qvmaya: " << session.firstError() << "\n";
    return 1;
  }
  std::error_code ignored;
  return use(session.host(), session.viewport(),
             fs::absolute(path, ignored).parent_path().string());
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
  // render's -h is the image's height.
  if (!args.empty() && args[0] == "render") return render(args, out, err);
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      out << kUsage;
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-')
      return tools::usageError(kTool, err, "unknown option " + arg);
  }
  Session session(out, err);
  bool ok = true;
  if (args.empty()) {
    std::ostringstream text;
    text << in.rdbuf();
    return session.runScript("stdin", text.str()) ? 0 : 1;
  }
  for (const std::string& path : args) {
    if (path == "-") {
      std::ostringstream text;
      text << in.rdbuf();
      session.runScript("stdin", text.str());
      continue;
    }
    std::string text;
    std::string error;
    if (!host::readTextFile(path, &text, &error)) {
      err << "// Error: "
          << (quotePath(path) == path ? error : quotePath(path) + ": cannot open file") << "\n";
      ok = false;
      continue;
    }
    session.runScript(path, text, path);
  }
  return ok && session.ok() ? 0 : 1;
}

}  // namespace qv::qvmaya
