// Attribute Editor templates as Maya runs them: `source` defines the
// template's global proc, and opening a node in the Attribute Editor calls
// AE<type>Template with the node's name, whose editorTemplate commands lay
// out the node's controls. qvmaya records that layout instead of drawing it.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script_reader.h"

class MObject;

namespace qv::maya {
class Host;
}

namespace qv::qvmaya {

// A proc read from a sourced file: plain commands only, with its one string
// parameter (if any) standing for the caller's argument.
struct Procedure {
  std::string name;
  std::string file;
  int line = 0;
  bool global = true;     // a plain proc is seen only from its own file
  std::string parameter;  // "$nodeName", or empty for a proc without one
  std::vector<Statement> body;
};

// The procs that `text` (the file `file`) defines. A file may hold nothing
// else; anything malformed fails with "FILE line N: what".
std::vector<Procedure> readProcedures(const std::string& file, const std::string& text);

// An attribute of a node as the Attribute Editor sees it: compounds come
// right before their children.
struct NodeAttribute {
  std::string name;    // long name
  std::string brief;   // short name
  std::string parent;  // the compound's long name, or empty at the top
  bool hidden = false;
};

std::vector<NodeAttribute> nodeAttributes(const MObject& node);

// Maya's label for an attribute without one of its own: "angleThreshold"
// becomes "Angle Threshold", "color_a" "Color A".
std::string niceName(const std::string& attribute);

// One node's layout, as its template builds it.
class Layout {
 public:
  Layout(std::string node, std::string type, std::vector<NodeAttribute> attributes);
  ~Layout();

  // `file` is the template running the statement, for the messages about
  // layouts it leaves open.
  void editorTemplate(const Statement& statement, const std::string& file);
  void swatchDisplay();
  void dependNode();
  // Fails where the template left a layout open; `where` is "FILE line N"
  // of the template's proc.
  void finish(const std::string& where);
  void print(std::ostream& out) const;

  const std::string& node() const { return node_; }

 private:
  struct Item;
  std::string attributeNamed(const std::string& name) const;
  void add(Item item);

  std::string node_;
  std::string type_;
  std::vector<NodeAttribute> attributes_;
  std::unique_ptr<Item> root_;
  std::vector<Item*> open_;             // the scroll layout, then the sections inside it
  std::vector<std::string> openWhere_;  // "FILE line N" of each open one
  bool scrolled_ = false;               // the scroll layout was begun (and maybe ended)
  bool extraControls_ = false;
  std::vector<std::string> suppressed_;
};

// The commands that sourcing and running templates take: `source`,
// `editorTemplate`, `AEswatchDisplay`, `AEdependNodeTemplate`,
// `qvAELayout NODE` and calls of the procs sourced files define.
class AttributeEditor {
 public:
  // `run` runs any other command a proc's body holds.
  AttributeEditor(maya::Host& host, std::ostream& out, std::function<void(const Statement&)> run);
  ~AttributeEditor();

  // False when the statement is none of its commands; a command of its
  // that fails throws CommandError.
  bool execute(const Statement& statement);

 private:
  void source(const Statement& statement);
  void showLayout(const Statement& statement);
  void call(const Procedure& procedure, const Statement& statement);
  // The proc a node type's template defines, sourcing AE<type>Template.mel
  // from MAYA_SCRIPT_PATH when no file defined it yet.
  const Procedure* templateOf(const std::string& type);

  maya::Host& host_;
  std::ostream& out_;
  std::function<void(const Statement&)> run_;
  std::map<std::string, Procedure> procedures_;
  std::unique_ptr<Layout> layout_;       // while qvAELayout runs a template
  std::vector<const Procedure*> calls_;  // the procs running, innermost last
  bool errorPlaced_ = false;             // the failure on its way out names its file and line
};

}  // namespace qv::qvmaya
