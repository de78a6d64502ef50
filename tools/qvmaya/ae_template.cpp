#include "ae_template.h"

#include "command_error.h"
#include "maya_host.h"
#include "text_file.h"
#include "text_lexer.h"

#include <maya/MFnAttribute.h>
#include <maya/MFnCompoundAttribute.h>
#include <maya/MFnDependencyNode.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <utility>

namespace qv::qvmaya {

namespace {

namespace fs = std::filesystem;

// Past this a proc that calls itself, directly or through others, would
// recurse until the stack runs out.
constexpr std::size_t kMaxCallDepth = 64;

#ifdef _WIN32
const char kPathSeparator = ';';
#else
const char kPathSeparator = ':';
#endif

std::string quote(const std::string& text) {
  return "\"" + host::shown(text) + "\"";
}

bool isIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentifier(const std::string& text) {
  return !text.empty() && isIdentifierStart(text[0]) &&
         std::all_of(text.begin(), text.end(), isIdentifierChar);
}

// The part of MEL that a sourced template needs: global procs whose bodies
// are plain commands.
class ProcReader {
 public:
  ProcReader(const std::string& file, const std::string& text) : file_(file), text_(text) {}

  std::vector<Procedure> read() {
    if (const std::size_t nul = text_.find('\0'); nul != std::string::npos) {
      error(1 + static_cast<int>(std::count(
                    text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(nul), '\n')),
            "not a MEL script: it holds binary data");
    }
    std::vector<Procedure> procedures;
    for (skip(); pos_ < text_.size(); skip()) procedures.push_back(procedure());
    return procedures;
  }

 private:
  [[noreturn]] void error(int line, const std::string& what) const {
    fail(file_ + " line " + std::to_string(line) + ": " + what);
  }

  char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  // Past a comment starting at pos_, counting its lines.
  void comment() {
    if (at(pos_ + 1) == '/') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      return;
    }
    const int start = line_;
    for (pos_ += 2; pos_ < text_.size() && !(text_[pos_] == '*' && at(pos_ + 1) == '/'); ++pos_) {
      if (text_[pos_] == '\n') ++line_;
    }
    if (pos_ >= text_.size()) error(start, "unterminated comment: the '/*' here has no '*/'");
    pos_ += 2;
  }

  bool atComment() const { return at(pos_) == '/' && (at(pos_ + 1) == '/' || at(pos_ + 1) == '*'); }

  void skip() {
    for (;;) {
      if (at(pos_) == '\n') {
        ++line_;
        ++pos_;
      } else if (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
        ++pos_;
      } else if (atComment()) {
        comment();
      } else {
        return;
      }
    }
  }

  std::string identifier() {
    std::string word;
    if (!isIdentifierStart(at(pos_))) return word;
    while (pos_ < text_.size() && isIdentifierChar(text_[pos_])) word += text_[pos_++];
    return word;
  }

  // The next word as a message shows it.
  std::string found() const {
    if (pos_ >= text_.size()) return "the end of the file";
    std::size_t end = pos_ + 1;
    while (end < text_.size() && isIdentifierChar(text_[end]) && isIdentifierChar(text_[pos_])) {
      ++end;
    }
    return quote(text_.substr(pos_, end - pos_));
  }

  void expect(char c, const std::string& what) {
    skip();
    if (at(pos_) != c) error(line_, what + ", not " + found());
    ++pos_;
  }

  Procedure procedure() {
    Procedure procedure;
    procedure.file = file_;
    procedure.line = line_;
    std::string word = identifier();
    procedure.global = word == "global";
    if (procedure.global) {
      skip();
      word = identifier();
      if (word != "proc") error(line_, "\"proc\" expected after \"global\", not " + found());
    } else if (word != "proc") {
      error(line_,
            "a sourced file may only define procs here; " + found() + " is not the start of one");
    }
    skip();
    procedure.name = identifier();
    if (procedure.name.empty()) error(line_, "a proc name expected, not " + found());
    static const char* const kTypes[] = {"string", "int", "float", "vector", "matrix"};
    if (std::find(std::begin(kTypes), std::end(kTypes), procedure.name) != std::end(kTypes)) {
      error(line_, "procs that return a value (" + procedure.name + ") are not supported");
    }
    expect('(', "'(' expected after the proc's name");
    skip();
    if (at(pos_) != ')') {
      const std::string type = identifier();
      if (type != "string") {
        error(line_, "a proc takes one string parameter or none here, not " +
                         (type.empty() ? found() : quote(type)));
      }
      expect('$', "a parameter name ($name) expected");
      const std::string name = identifier();
      if (name.empty()) error(line_, "a parameter name expected after '$', not " + found());
      procedure.parameter = "$" + name;
      skip();
      if (at(pos_) == ',') error(line_, "a proc takes one string parameter or none here");
    }
    expect(')', "')' expected after the proc's parameter");
    expect('{', "'{' expected: the proc has no body");
    const int open = line_;
    const std::size_t start = pos_;
    const std::size_t end = closingBrace(open);
    procedure.body = statements(procedure, start, end);
    pos_ = end + 1;
    return procedure;
  }

  // The '}' that closes the body starting at pos_; strings and comments
  // may hold braces of their own.
  std::size_t closingBrace(int openLine) {
    int depth = 1;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (atComment()) {
        comment();
      } else if (c == '"') {
        // An unterminated string ends at its line; the statement reader
        // reports it.
        for (++pos_; pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n'; ++pos_) {
          if (text_[pos_] == '\\' && at(pos_ + 1) != '\n') ++pos_;
        }
        if (at(pos_) == '"') ++pos_;
      } else {
        if (c == '{') ++depth;
        if (c == '}' && --depth == 0) return pos_;
        ++pos_;
      }
    }
    error(openLine, "the proc's '{' here has no matching '}'");
  }

  // The body's statements, read from a copy of the file in which all but
  // the body is blank, so that their lines are the file's.
  std::vector<Statement> statements(const Procedure& procedure, std::size_t start,
                                    std::size_t end) const {
    std::string body = text_.substr(0, end);
    for (std::size_t i = 0; i < start; ++i) {
      if (body[i] != '\n') body[i] = ' ';
    }
    std::vector<Statement> statements;
    ScriptReader reader(body);
    Statement statement;
    std::string message;
    while (reader.next(&statement, &message)) {
      check(procedure, statement);
      statements.push_back(statement);
    }
    if (!message.empty()) error(statement.line, message);
    return statements;
  }

  void check(const Procedure& procedure, const Statement& statement) const {
    const Word& command = statement.words[0];
    if (command.quoted || !isIdentifier(command.text)) {
      error(statement.line, "only plain commands can run inside a proc here, not " +
                                quote(command.text) + " (no blocks, expressions or variables)");
    }
    for (const Word& word : statement.words) {
      if (word.quoted) continue;
      if (!word.text.empty() && word.text[0] == '$' && word.text != procedure.parameter) {
        error(statement.line, "undefined variable " + quote(word.text));
      }
      if (word.text.find_first_of("{}()=`") != std::string::npos) {
        error(statement.line, "only plain commands can run inside a proc here, not " +
                                  quote(word.text) + " (no blocks, expressions or variables)");
      }
    }
  }

  const std::string& file_;
  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

bool parseSwitch(const std::string& text, bool* value) {
  static const char* const kOn[] = {"1", "true", "on", "yes"};
  static const char* const kOff[] = {"0", "false", "off", "no"};
  if (std::find(std::begin(kOn), std::end(kOn), text) != std::end(kOn)) {
    *value = true;
    return true;
  }
  *value = false;
  return std::find(std::begin(kOff), std::end(kOff), text) != std::end(kOff);
}

void collect(const MObject& attribute, const std::string& parent,
             std::vector<NodeAttribute>* attributes) {
  const MFnAttribute fn(attribute);
  attributes->push_back({fn.name().asChar(), fn.shortName().asChar(), parent, fn.isHidden()});
  if (!attribute.hasFn(MFn::kCompoundAttribute)) return;
  const MFnCompoundAttribute compound(attribute);
  const std::string name = fn.name().asChar();
  for (unsigned int i = 0; i < compound.numChildren(); ++i) {
    collect(compound.child(i), name, attributes);
  }
}

}  // namespace

std::vector<Procedure> readProcedures(const std::string& file, const std::string& text) {
  return ProcReader(file, text).read();
}

std::vector<NodeAttribute> nodeAttributes(const MObject& node) {
  std::vector<NodeAttribute> attributes;
  const MFnDependencyNode fn(node);
  for (unsigned int i = 0; i < fn.attributeCount(); ++i) collect(fn.attribute(i), "", &attributes);
  return attributes;
}

std::string niceName(const std::string& attribute) {
  std::string nice;
  bool wordStart = true;
  for (std::size_t i = 0; i < attribute.size(); ++i) {
    const auto c = static_cast<unsigned char>(attribute[i]);
    if (c == '_') {
      wordStart = true;
      continue;
    }
    const bool digitAfterLetter =
        std::isdigit(c) && i > 0 && !std::isdigit(static_cast<unsigned char>(attribute[i - 1]));
    if (!nice.empty() && (wordStart || std::isupper(c) || digitAfterLetter)) nice += ' ';
    nice +=
        static_cast<char>(nice.empty() || wordStart || nice.back() == ' ' ? std::toupper(c) : c);
    wordStart = false;
  }
  return nice;
}

struct Layout::Item {
  enum class Kind { kTop, kScroll, kSection, kControl, kSeparator, kSwatch, kExtraControls };
  Kind kind = Kind::kTop;
  std::string label;
  std::string attribute;
  std::string changeCommand;
  bool collapsed = false;
  std::vector<Item> children;
};

Layout::Layout(std::string node, std::string type, std::vector<NodeAttribute> attributes)
    : node_(std::move(node)),
      type_(std::move(type)),
      attributes_(std::move(attributes)),
      root_(std::make_unique<Item>()) {
  open_.push_back(root_.get());
  openWhere_.emplace_back();
}

Layout::~Layout() = default;

std::string Layout::attributeNamed(const std::string& name) const {
  for (const NodeAttribute& attribute : attributes_) {
    if (attribute.name == name || attribute.brief == name) return attribute.name;
  }
  fail("editorTemplate: node " + node_ + " (" + type_ + ") has no attribute " + quote(name));
}

void Layout::add(Item item) {
  open_.back()->children.push_back(std::move(item));
}

void Layout::editorTemplate(const Statement& statement, const std::string& file) {
  // Long flag names, as Maya's own templates spell them.
  static const std::pair<const char*, int> kFlags[] = {{"beginScrollLayout", 0},
                                                       {"endScrollLayout", 0},
                                                       {"beginLayout", 1},
                                                       {"collapse", 1},
                                                       {"endLayout", 0},
                                                       {"addControl", 1},
                                                       {"label", 1},
                                                       {"suppress", 1},
                                                       {"addExtraControls", 0},
                                                       {"addSeparator", 0},
                                                       {"beginNoOptimize", 0},
                                                       {"endNoOptimize", 0}};
  static const char* const kModifiers[] = {"collapse", "label"};
  std::map<std::string, std::string> flags;
  std::vector<Word> positional;
  std::string action;
  const std::vector<Word>& words = statement.words;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (!isFlag(words[i])) {
      positional.push_back(words[i]);
      continue;
    }
    const std::string name = words[i].text.substr(1);
    if (name == "callCustom") {
      fail("editorTemplate: -callCustom builds controls with UI procs, which qvmaya cannot run");
    }
    const auto* flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                    [&](const auto& f) { return name == f.first; });
    if (flag == std::end(kFlags)) fail("editorTemplate: Invalid flag " + quote(words[i].text));
    if (flags.count(name)) fail("editorTemplate: flag -" + name + " given twice");
    if (flag->second > 0 && ++i >= words.size()) {
      fail("editorTemplate: flag -" + name + " needs a value");
    }
    flags[name] = flag->second > 0 ? words[i].text : "";
    if (std::find(std::begin(kModifiers), std::end(kModifiers), name) == std::end(kModifiers)) {
      if (!action.empty()) fail("editorTemplate: -" + action + " and -" + name + " in one command");
      action = name;
    }
  }
  if (action.empty()) fail("editorTemplate: no layout flag given");
  if (flags.count("collapse") && action != "beginLayout") {
    fail("editorTemplate: -collapse goes with -beginLayout only");
  }
  if (flags.count("label") && action != "addControl") {
    fail("editorTemplate: -label goes with -addControl only");
  }
  if (!positional.empty() && (action != "addControl" || positional.size() > 1)) {
    fail("editorTemplate: unexpected argument " + quote(positional.back().text));
  }
  const std::string where = file + " line " + std::to_string(statement.line);

  if (action == "beginNoOptimize" || action == "endNoOptimize") return;
  if (action == "beginScrollLayout") {
    if (scrolled_) fail("editorTemplate: the template has begun its scroll layout already");
    if (open_.size() != 1) fail("editorTemplate: -beginScrollLayout inside a layout");
    Item scroll;
    scroll.kind = Item::Kind::kScroll;
    add(std::move(scroll));
    open_.push_back(&open_.back()->children.back());
    openWhere_.push_back(where);
    scrolled_ = true;
    return;
  }
  if (open_.size() < 2) {
    fail("editorTemplate: -" + action + " outside -beginScrollLayout ... -endScrollLayout");
  }
  if (action == "endScrollLayout") {
    if (open_.size() != 2) {
      fail("editorTemplate: -endScrollLayout while the layout " + quote(open_.back()->label) +
           " begun at " + openWhere_.back() + " is open");
    }
    open_.pop_back();
    openWhere_.pop_back();
  } else if (action == "beginLayout") {
    Item section;
    section.kind = Item::Kind::kSection;
    section.label = flags["beginLayout"];
    if (flags.count("collapse") && !parseSwitch(flags["collapse"], &section.collapsed)) {
      fail("editorTemplate: -collapse takes 0 or 1, not " + quote(flags["collapse"]));
    }
    add(std::move(section));
    open_.push_back(&open_.back()->children.back());
    openWhere_.push_back(where);
  } else if (action == "endLayout") {
    if (open_.size() < 3) fail("editorTemplate: -endLayout without a -beginLayout");
    open_.pop_back();
    openWhere_.pop_back();
  } else if (action == "addControl") {
    Item control;
    control.kind = Item::Kind::kControl;
    control.attribute = attributeNamed(flags["addControl"]);
    control.label = flags.count("label") ? flags["label"] : niceName(control.attribute);
    if (!positional.empty()) control.changeCommand = positional[0].text;
    add(std::move(control));
  } else if (action == "suppress") {
    suppressed_.push_back(attributeNamed(flags["suppress"]));
  } else if (action == "addExtraControls") {
    if (extraControls_) fail("editorTemplate: -addExtraControls given twice");
    extraControls_ = true;
    Item extra;
    extra.kind = Item::Kind::kExtraControls;
    add(std::move(extra));
  } else if (action == "addSeparator") {
    Item separator;
    separator.kind = Item::Kind::kSeparator;
    add(std::move(separator));
  }
}

void Layout::swatchDisplay() {
  Item swatch;
  swatch.kind = Item::Kind::kSwatch;
  add(std::move(swatch));
}

// Maya's node behaviour section holds the attributes every node inherits;
// a node here has only those its plug-in gave it.
void Layout::dependNode() {
  Item section;
  section.kind = Item::Kind::kSection;
  section.label = "Node Behavior";
  section.collapsed = true;
  for (const char* name : {"caching", "frozen", "nodeState"}) {
    for (const NodeAttribute& attribute : attributes_) {
      if (attribute.name != name) continue;
      Item control;
      control.kind = Item::Kind::kControl;
      control.attribute = attribute.name;
      control.label = niceName(attribute.name);
      section.children.push_back(std::move(control));
    }
  }
  add(std::move(section));
}

void Layout::finish(const std::string& where) {
  if (!scrolled_) fail(where + ": the template never calls editorTemplate -beginScrollLayout");
  if (open_.size() > 1) {
    fail(openWhere_.back() + ": " +
         (open_.size() == 2 ? std::string("-beginScrollLayout has no -endScrollLayout")
                            : "-beginLayout " + quote(open_.back()->label) + " has no -endLayout"));
  }
}

void Layout::print(std::ostream& out) const {
  std::vector<std::string> placed;
  const std::function<void(const Item&)> gather = [&](const Item& item) {
    if (item.kind == Item::Kind::kControl) placed.push_back(item.attribute);
    for (const Item& child : item.children) gather(child);
  };
  gather(*root_);
  const auto covered = [&](const NodeAttribute& attribute) {
    for (const NodeAttribute& other : attributes_) {
      const bool self = other.name == attribute.name;
      if (!self && other.parent != attribute.name) continue;
      if (std::count(placed.begin(), placed.end(), other.name) ||
          std::count(suppressed_.begin(), suppressed_.end(), other.name)) {
        return true;
      }
    }
    return false;
  };

  out << "node " << node_ << " " << type_ << "\n";
  const std::function<void(const Item&, int)> show = [&](const Item& item, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    switch (item.kind) {
      case Item::Kind::kTop:
        break;
      case Item::Kind::kScroll:
        out << indent << "scrollLayout\n";
        break;
      case Item::Kind::kSection:
        out << indent << "layout " << quote(item.label)
            << (item.collapsed ? " collapsed" : " expanded") << "\n";
        break;
      case Item::Kind::kControl:
        out << indent << "control " << item.attribute << " " << quote(item.label);
        if (!item.changeCommand.empty()) out << " changeCommand " << quote(item.changeCommand);
        out << "\n";
        break;
      case Item::Kind::kSeparator:
        out << indent << "separator\n";
        break;
      case Item::Kind::kSwatch:
        out << indent << "swatchDisplay\n";
        break;
      case Item::Kind::kExtraControls:
        out << indent << "layout \"Extra Attributes\" collapsed\n";
        // What the template neither placed nor suppressed; Maya leaves
        // hidden attributes out of the Attribute Editor anyway.
        for (const NodeAttribute& attribute : attributes_) {
          if (attribute.parent.empty() && !attribute.hidden && !covered(attribute)) {
            out << indent << "  extra " << attribute.name << " " << quote(niceName(attribute.name))
                << "\n";
          }
        }
        break;
    }
    const int inner = item.kind == Item::Kind::kTop ? depth : depth + 1;
    for (const Item& child : item.children) show(child, inner);
  };
  show(*root_, 0);
  for (const std::string& attribute : suppressed_) out << "suppress " << attribute << "\n";
}

AttributeEditor::AttributeEditor(maya::Host& host, std::ostream& out,
                                 std::function<void(const Statement&)> run)
    : host_(host), out_(out), run_(std::move(run)) {}

AttributeEditor::~AttributeEditor() = default;

bool AttributeEditor::execute(const Statement& statement) {
  const std::string& command = statement.words[0].text;
  const auto inTemplate = [&]() -> Layout& {
    if (!layout_) {
      fail(command + ": only an Attribute Editor template run by qvAELayout can call it");
    }
    return *layout_;
  };
  if (command == "source") {
    source(statement);
  } else if (command == "qvAELayout") {
    showLayout(statement);
  } else if (command == "editorTemplate") {
    inTemplate().editorTemplate(statement, calls_.empty() ? "" : calls_.back()->file);
  } else if (command == "AEswatchDisplay" || command == "AEdependNodeTemplate") {
    Layout& layout = inTemplate();
    if (statement.words.size() != 2 || statement.words[1].text != layout.node()) {
      fail(command + ": give it the node the template lays out ($nodeName)");
    }
    if (command == "AEswatchDisplay") {
      layout.swatchDisplay();
    } else {
      layout.dependNode();
    }
  } else if (auto found = procedures_.find(command);
             found != procedures_.end() &&
             (found->second.global ||
              (!calls_.empty() && calls_.back()->file == found->second.file))) {
    call(found->second, statement);
  } else {
    return false;
  }
  return true;
}

void AttributeEditor::source(const Statement& statement) {
  if (statement.words.size() != 2) fail("source: give one file");
  const std::string& path = statement.words[1].text;
  std::string text;
  std::string error;
  if (!host::readTextFile(path, &text, &error)) fail("source: " + error);
  // Nothing of a file that does not read is kept, as in Maya.
  std::vector<Procedure> procedures = readProcedures(path, text);
  for (const Procedure& procedure : procedures) {
    for (const Procedure* running : calls_) {
      if (running->name == procedure.name) {
        fail("source: " + path + " redefines " + procedure.name + ", which is running");
      }
    }
  }
  for (Procedure& procedure : procedures) {
    const std::string name = procedure.name;
    procedures_[name] = std::move(procedure);
  }
}

const Procedure* AttributeEditor::templateOf(const std::string& type) {
  const std::string name = "AE" + type + "Template";
  if (auto found = procedures_.find(name); found != procedures_.end()) return &found->second;
  const char* variable = std::getenv("MAYA_SCRIPT_PATH");
  std::istringstream folders(variable ? variable : "");
  for (std::string folder; std::getline(folders, folder, kPathSeparator);) {
    const fs::path candidate = fs::path(folder) / (name + ".mel");
    std::error_code ignored;
    if (folder.empty() || !fs::is_regular_file(candidate, ignored)) continue;
    Statement source;
    source.words = {{"source", false}, {candidate.string(), true}};
    this->source(source);
    break;
  }
  auto found = procedures_.find(name);
  return found == procedures_.end() ? nullptr : &found->second;
}

void AttributeEditor::showLayout(const Statement& statement) {
  if (statement.words.size() != 2) fail("qvAELayout: give one node");
  if (layout_) fail("qvAELayout: a template is running already");
  const std::string& name = statement.words[1].text;
  const std::string node = name.substr(name.rfind('|') + 1);
  const std::string type = host_.typeOf(node);
  if (type.empty()) fail("No object matches name: " + quote(name));
  const Procedure* procedure = templateOf(type);
  if (!procedure) {
    fail("qvAELayout: no template for " + type + ": source AE" + type +
         "Template.mel, or put it in a folder of MAYA_SCRIPT_PATH");
  }
  // The layout goes however the template ends, so the next one starts clean.
  struct Reset {
    std::unique_ptr<Layout>& layout;
    ~Reset() { layout.reset(); }
  } reset{layout_};
  layout_ = std::make_unique<Layout>(node, type, nodeAttributes(host_.node(node)));
  Statement call;
  call.line = statement.line;
  call.words = {{procedure->name, false}, {node, true}};
  this->call(*procedure, call);
  layout_->finish(procedure->file + " line " + std::to_string(procedure->line));
  std::ostringstream text;
  layout_->print(text);
  out_ << text.str();
}

void AttributeEditor::call(const Procedure& procedure, const Statement& statement) {
  const std::size_t arguments = statement.words.size() - 1;
  const std::size_t wanted = procedure.parameter.empty() ? 0 : 1;
  if (arguments != wanted) {
    fail(procedure.name + ": takes " + std::to_string(wanted) + " argument" +
         (wanted == 1 ? "" : "s") + ", not " + std::to_string(arguments));
  }
  if (calls_.size() >= kMaxCallDepth) {
    fail(procedure.name + ": procs nest more than " + std::to_string(kMaxCallDepth) +
         " deep (does one call itself?)");
  }
  calls_.push_back(&procedure);
  struct Pop {
    AttributeEditor& editor;
    ~Pop() {
      editor.calls_.pop_back();
      if (editor.calls_.empty()) editor.errorPlaced_ = false;
    }
  } pop{*this};
  for (Statement line : procedure.body) {
    for (std::size_t i = 1; i < line.words.size(); ++i) {
      Word& word = line.words[i];
      if (!word.quoted && word.text == procedure.parameter) {
        // A string argument: never taken for a flag.
        word = {statement.words[1].text, true};
      }
    }
    try {
      run_(line);
    } catch (const CommandError& e) {
      // The innermost statement that failed is the place to name; the
      // procs that called it would only bury it.
      if (errorPlaced_) throw;
      errorPlaced_ = true;
      fail(procedure.file + " line " + std::to_string(line.line) + ": " + e.what);
    }
  }
}

}  // namespace qv::qvmaya
