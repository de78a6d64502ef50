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
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qv::qvmaya {

// A plug as a command names it: the node, and the attribute as written after
// its dot ("t", "iog[0].og[1]"). A modelled plug is one the graph holds a
// value of; any other is kept as read.
struct PlugName {
  std::string node;
  std::string attribute;
  bool modelled = false;
  std::string text() const { return node + "." + attribute; }
};

// What a scene file holds besides its nodes and connections, kept as read to
// be written back: `requires` of plug-ins not installed, references,
// fileInfo, ... before the first node (`header`), relationships and the like
// after it (`trailer`).
struct KeptStatements {
  std::vector<std::string> header;
  std::vector<std::string> trailer;
};

class Session {
 public:
  Session(std::ostream& out, std::ostream& err);
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
  PlugName plug(const Word& word) const;
  // A node by name, DAG path ("|group1|pCube1", "pCube1|pCubeShape1") or,
  // ':'-rooted, a default node (":time1"); fails the command when none or
  // several match.
  std::string resolveNode(const std::string& text) const;
  // The node a name or path names, "" for none; `several` tells an
  // ambiguous short name.
  std::string findNode(const std::string& text, bool* several) const;
  // The nodes every new scene has.
  void createDefaultNodes();
  // "// Warning: FILE line N: what", without failing anything.
  void warn(const std::string& what);
  // The node's record, failing the command when there is no such node.
  maya::NodeRecord* recordOf(const std::string& node);
  // Where a statement goes when it is kept as read.
  void keepStatement(const Statement& statement);
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
  void select(const Statement& statement);
  void rename(const Statement& statement);
  void addAttr(const Statement& statement);
  void lockNode(const Statement& statement);
  void reference(const Statement& statement);
  void instance(const Statement& statement);
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
  // Of the scene: what the file held besides nodes and connections, the node
  // types of plug-ins it requires that are not installed, the types already
  // warned of, and whether a node came yet.
  KeptStatements kept_;
  std::map<std::string, std::string> pluginOfType_;
  std::set<std::string> warnedTypes_;
  bool sawNode_ = false;
  bool savedByMaya_ = false;  // the script running is a Maya ASCII file
  // File names of nodes whose name was taken, to the names they were given.
  std::multimap<std::string, std::string> aliases_;
  // Shapes instanced under more transforms, to those transforms.
  std::multimap<std::string, std::string> instanceParents_;
  // Where the statement running is, for warnings.
  std::string scriptName_;
  int scriptLine_ = 0;
};

}  // namespace qv::qvmaya
