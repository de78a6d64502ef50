// One qvmaya session: the stand-in Maya session a run of scripts and scene
// files builds, and the MEL commands they run in it.
#pragma once

#include "ae_template.h"
#include "arguments.h"
#include "maya_host.h"
#include "script_reader.h"
#include "viewport.h"

#include <maya/MStatus.h>

#include <iosfwd>
#include <memory>
#include <string>

namespace qv::qvmaya {

class Session {
 public:
  Session(std::ostream& out, std::ostream& err)
      : out_(&out), err_(err), editor_(host_, out, [this](const Statement& s) { execute(s); }) {
    host_.setCommandRunner([this](const std::string& command, std::string* result) {
      return runForPlugin(command, result);
    });
  }
  ~Session() { host_.setCommandRunner(nullptr); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Runs every statement of one script, reporting the ones that fail; false
  // when any did. A scene file's textures are looked up in its folder.
  bool runScript(const std::string& name, const std::string& text, const std::string& path = "");
  // False once any command of any script failed.
  bool ok() const { return ok_; }
  // From now on a failing command ends every script that runs, and the
  // first message is kept as "FILE line N: what".
  void stopAtFirstError() { stopAtError_ = true; }
  const std::string& firstError() const { return firstError_; }
  // `file -open PATH`, outside any script.
  bool openScene(const std::string& path);
  maya::Host& host() { return host_; }
  maya::Viewport& viewport();

 private:
  // "node.attr", or ".attr" on the node made last, as a Maya ASCII file has it.
  std::string plug(const Word& word) const;
  // The plug-in file of this name in the first folder of the plug-in path
  // that holds one; "" where none does.
  std::string findPlugin(const std::string& file) const;
  void loadPlugin(const std::string& path);

  void createNode(const Statement& statement);
  void setAttr(const Statement& statement);
  void getAttr(const Statement& statement);
  void connection(const Statement& statement, bool connect);
  void deleteNodes(const Statement& statement);
  void execute(const Statement& statement);
  void file(const Statement& statement);
  void open(const std::string& path);
  void require(const Statement& statement);
  void ogs(const Statement& statement);
  void pluginInfo(const Statement& statement);
  // MGlobal::executeCommand: the text's commands run quietly, and the first
  // that fails is reported and ends the text without failing the run, which
  // is the plug-in's to decide on.
  MStatus runForPlugin(const std::string& text, std::string* result);

  maya::Host host_;
  // Its overrides go before the host's plug-ins do.
  std::unique_ptr<maya::Viewport> viewport_;
  std::ostream* out_;  // elsewhere while a plug-in runs commands
  std::ostream& err_;
  // Sourced procs and the templates they lay out nodes with.
  AttributeEditor editor_;
  bool ok_ = true;
  bool stopAtError_ = false;
  std::string firstError_;
  std::string current_;
  std::string notCreated_;  // what the last createNode, which failed, was to make
  std::string result_;      // of the last command, for MGlobal::executeCommand
  std::string sceneName_;
  int openDepth_ = 0;  // scenes being opened, one inside another
};

}  // namespace qv::qvmaya
