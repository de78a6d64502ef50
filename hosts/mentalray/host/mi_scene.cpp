#include "mi_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <utility>

#include "base_shaders.h"
#include "obj_reader.h"
#include "text_file.h"
#include "text_lexer.h"

namespace qv::mrhost {

namespace {

namespace fs = std::filesystem;

// Every connection nests one shader call inside another on the render
// thread's stack; a chain this long is far beyond any real shading network.
constexpr int kMaxConnectionDepth = 64;
// Files that include one another in a ring would be read until the stack
// ran out.
constexpr int kMaxIncludeDepth = 16;
// Connection tags count up from 1 and must stay clear of miPARAMTAG.
constexpr std::size_t kMaxConnections = 0x7fffffff;

using host::shown;
using host::Tok;
using host::Token;
using Failure = host::TextFailure;

// A failure whose message already names its file and line: one met in an
// included file, or once every file is read.
struct LocatedFailure {
  std::string message;
};

struct Where {
  std::string file;
  int line = 0;
};

[[noreturn]] void fail(const Where& where, const std::string& what) {
  throw LocatedFailure{where.file + ":" + std::to_string(where.line) + ": " + what};
}

// Of the 3x3 part of a row-major 4x4 transform: 0 when the transform flattens
// space, so that no camera could be placed by it.
double linearDeterminant(const float* m) {
  const double a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9],
               i = m[10];
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// A connection as written, resolved once every shader of the scene is known.
struct PendingConnection {
  std::size_t from;
  std::size_t offset;  // bytes into the block
  ParamKind kind;
  std::string param;
  std::string target;
  Where where;
};

// A texture parameter's name, resolved once every texture is known.
struct PendingTexture {
  std::size_t shader;
  std::size_t offset;  // bytes into the block
  std::string param;
  std::string texture;
  Where where;
};

struct PendingMaterial {
  std::size_t object;
  std::string shader;
  Where where;
};

// What the files of one scene share while they are read.
struct ReadState {
  MiScene* scene = nullptr;
  const MiReadOptions* options = nullptr;
  int includeDepth = 0;
  Where camera;  // of the scene's camera, once there is one
  std::unordered_map<std::string, Where> shaders, objects, textures;  // where each was defined
  std::vector<PendingConnection> connections;
  std::vector<PendingTexture> textureNames;
  std::vector<PendingMaterial> materials;
};

// One file of the scene. Every construct has a fixed nesting depth, and
// includes are bounded, so the descent is bounded whatever the input.
class FileParser : DeclarationReader {
 public:
  FileParser(const std::string& text, const std::string& file, ReadState& state)
      : DeclarationReader(text, file), state_(state), folder_(fs::path(file).parent_path()) {}

  void run() {
    while (tok().kind != Tok::End) {
      if (isWord("shader")) {
        shader();
      } else if (isWord("object")) {
        object();
      } else if (isWord("camera")) {
        camera();
      } else if (isWord("color")) {
        texture();
      } else if (isWord("declare")) {
        declare();
      } else if (isWord("link")) {
        link();
      } else if (isPunct("$")) {
        include();
      } else {
        unexpected(
            "'shader', 'object', 'camera', 'color texture', 'declare', 'link' or '$include'");
      }
    }
  }

 private:
  MiScene& scene() { return *state_.scene; }
  Where here(int line) const { return {file(), line}; }

  std::string firstAt(const Where& first) const {
    return "first at " + (first.file == file() ? "line " + std::to_string(first.line)
                                               : first.file + ":" + std::to_string(first.line));
  }

  void checkDuplicate(std::unordered_map<std::string, Where>* seen, const Token& name,
                      const std::string& what) {
    const auto [it, fresh] = seen->emplace(name.text, here(name.line));
    if (!fresh) {
      throw Failure{name.line, what + " '" + shown(name.text) + "' is defined twice (" +
                                   firstAt(it->second) + ")"};
    }
  }

  void declare() {
    const std::shared_ptr<ShaderDecl> decl = declaration();
    std::string problem;
    if (!scene().declarations.add(decl, &problem)) throw Failure{decl->line, problem};
  }

  void link() {
    const int line = tok().line;
    advance();
    const Token name = expectString("the shader library's file name in quotes after 'link'");
    Linker* linker = state_.options->linker;
    std::string problem = "this reader loads no shader libraries";
    if (!linker || !linker->link(name.text, folder_.string(), &scene().declarations, &problem)) {
      throw Failure{line, "cannot link \"" + shown(name.text) + "\": " + problem};
    }
  }

  // The file as the including file's folder has it, else as a folder of
  // the options has it.
  fs::path includePath(const Token& name) const {
    const fs::path given(name.text);
    std::vector<fs::path> candidates;
    if (given.is_absolute()) {
      candidates.push_back(given);
    } else {
      candidates.push_back(folder_ / given);
      for (const std::string& folder : state_.options->includeFolders) {
        candidates.push_back(fs::path(folder) / given);
      }
    }
    std::string tried;
    for (const fs::path& candidate : candidates) {
      std::error_code ec;
      if (fs::is_regular_file(candidate, ec)) return candidate;
      tried += (tried.empty() ? "" : ", ") + candidate.string();
    }
    throw Failure{name.line, "cannot find the file of $include \"" + shown(name.text) +
                                 "\" (looked for " + tried + ")"};
  }

  void include() {
    const int line = tok().line;
    advance();
    if (!isWord("include") || tok().line != line) {
      throw Failure{line, "expected 'include' right after '$' ($include \"FILE\")"};
    }
    advance();
    const Token name = expectString("a file name in quotes after '$include'");
    const fs::path path = includePath(name);
    if (state_.includeDepth >= kMaxIncludeDepth) {
      throw Failure{name.line, "$include \"" + shown(name.text) + "\" nests files more than " +
                                   std::to_string(kMaxIncludeDepth) +
                                   " deep: does a file include itself?"};
    }
    std::string text, error;
    if (!host::readTextFile(path.string(), &text, &error)) throw Failure{name.line, error};
    ++state_.includeDepth;
    const std::string message = host::catchReadFailure(
        path.string(), [&] { FileParser(text, path.string(), state_).run(); });
    --state_.includeDepth;
    if (!message.empty()) throw LocatedFailure{message};
  }

  void shader() {
    const int line = tok().line;
    advance();
    const Token name = expectString("a shader name in quotes after 'shader'");
    checkDuplicate(&state_.shaders, name, "shader");
    const Token type =
        expectString("the shader's type in quotes after \"" + shown(name.text) + "\"");
    std::shared_ptr<const ShaderDecl> decl = scene().declarations.find(type.text);
    if (!decl) {
      const std::string known = scene().declarations.names();
      throw Failure{type.line, "unknown shader type '" + shown(type.text) + "' (" +
                                   (known.empty() ? "none is declared" : "declared: " + known) +
                                   ")"};
    }
    ShaderInstance instance;
    instance.name = name.text;
    instance.decl = decl;
    instance.file = file();
    instance.line = line;
    instance.block.assign(decl->blockSize / 4, 0u);
    instance.tags.assign(decl->blockSize / 4, miNULLTAG);
    for (const ParamDecl& p : decl->params) setDefaults(instance, p, p.offset);
    scene().shaders.push_back(std::move(instance));
    const std::size_t index = scene().shaders.size() - 1;
    expect("(", "'(' after the type of shader \"" + shown(name.text) + "\"");
    params(index, decl->params, 0, ")", decl->name);
  }

  static void setDefaults(ShaderInstance& instance, const ParamDecl& p, std::size_t offset) {
    std::copy(p.defaults.begin(), p.defaults.end(), instance.block.begin() + offset / 4);
  }

  void store(std::size_t index, std::size_t offset, const std::vector<std::uint32_t>& words) {
    ShaderInstance& instance = scene().shaders[index];
    for (std::size_t w = 0; w < words.size(); ++w) {
      instance.block[offset / 4 + w] = words[w];
      instance.tags[offset / 4 + w] = miPARAMTAG;
    }
  }

  // `( "name" value, ... )` or a structure's `{ ... }`: the parameters
  // `decls`, laid out from `base` on. `owner` names them in messages.
  void params(std::size_t index, const std::vector<ParamDecl>& decls, std::size_t base,
              const char* closing, const std::string& owner) {
    std::unordered_map<std::string, int> seen;
    if (isPunct(closing)) {
      advance();
      return;
    }
    for (;;) {
      const Token name =
          expectString(std::string("a parameter name in quotes or '") + closing + "' in " + owner);
      const auto found = std::find_if(decls.begin(), decls.end(),
                                      [&](const ParamDecl& d) { return d.name == name.text; });
      if (found == decls.end()) {
        throw Failure{name.line, owner + " has no parameter '" + shown(name.text) + "'"};
      }
      const ParamDecl& decl = *found;
      const std::size_t offset = base + decl.offset;
      const auto [it, fresh] = seen.emplace(name.text, name.line);
      if (!fresh) {
        throw Failure{name.line, "'" + name.text + "' is set twice in " + owner +
                                     " (first at line " + std::to_string(it->second) + ")"};
      }
      if (isPunct("=")) {
        advance();
        if (decl.kind == ParamKind::Array || decl.kind == ParamKind::Struct) {
          throw Failure{name.line, "'" + name.text + "' is " + kindName(decl.kind) +
                                       " and cannot be connected"};
        }
        const Token target =
            expectString("the name in quotes of the shader connected to '" + name.text + "'");
        state_.connections.push_back(
            {index, offset, decl.kind, name.text, target.text, here(name.line)});
      } else {
        value(index, decl, offset, name);
      }
      if (isPunct(closing)) break;
      expect(",", std::string("',' or '") + closing + "' after the value of '" + name.text + "'");
    }
    advance();
  }

  void value(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    const std::string what = "'" + name.text + "'";
    switch (decl.kind) {
      case ParamKind::Array:
        array(index, decl, offset, name);
        return;
      case ParamKind::Struct:
        expect("{", "'{' to open " + what);
        params(index, decl.members, offset, "}", what);
        return;
      case ParamKind::Texture: {
        const Token texture = expectString("the name in quotes of a color texture for " + what);
        state_.textureNames.push_back({index, offset, name.text, texture.text, here(texture.line)});
        return;
      }
      default:
        store(index, offset, literal(decl.kind, what));
        return;
    }
  }

  // The elements follow the header; one element's room is always there, as
  // the shader's record declares it, even when the array is empty. Where
  // more of the block follows that room, the elements go after the block's
  // end instead, at a whole number of elements from the room, and the
  // header's index counts them from it, as the shader's record indexes them.
  void array(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    expect("[", "'[' to open the elements of '" + name.text + "'");
    const ParamDecl& element = decl.element();
    const std::size_t room = offset + decl.size;
    const std::size_t end = scene().shaders[index].block.size() * 4;
    const std::size_t skipped =
        end <= room + element.size ? 0 : (end - room + element.size - 1) / element.size;
    if (skipped > 0x7fffffff)
      throw Failure{name.line, "too many elements before '" + name.text + "'"};
    const std::size_t first = room + element.size * skipped;
    const Token elementName{Tok::String, "an element of '" + name.text + "'", name.line};
    std::size_t count = 0;
    if (!isPunct("]")) {
      for (;;) {
        if (count == 0x7fffffff)
          throw Failure{tok().line, "too many elements in '" + name.text + "'"};
        const std::size_t base = first + element.size * count;
        ShaderInstance& instance = scene().shaders[index];
        if (base + element.size > instance.block.size() * 4) {
          instance.block.resize((base + element.size) / 4, 0u);
          instance.tags.resize((base + element.size) / 4, miNULLTAG);
        }
        setDefaults(instance, element, base);
        if (element.kind == ParamKind::Struct) {
          expect("{", "'{' to open an element of '" + name.text + "'");
          params(index, element.members, base, "}", elementName.text);
        } else {
          value(index, element, base, elementName);
        }
        ++count;
        if (isPunct("]")) break;
        expect(",", "',' or ']' after an element of '" + name.text + "'");
      }
    }
    advance();
    store(index, offset, {static_cast<std::uint32_t>(skipped), static_cast<std::uint32_t>(count)});
  }

  void object() {
    const int line = tok().line;
    advance();
    const Token name = expectString("an object name in quotes after 'object'");
    checkDuplicate(&state_.objects, name, "object");
    ObjectStatement object;
    object.name = name.text;
    object.file = file();
    object.line = line;
    std::unordered_map<std::string, int> seen;
    const std::string owner = "object '" + shown(name.text) + "'";
    bool hasFile = false;
    for (;;) {
      if (isWord("end")) break;
      const char* const wanted = "file, label, opacity, color, material or 'end object' in ";
      if (tok().kind != Tok::Word) unexpected(wanted + owner);
      const Token key = tok();
      if (key.text != "file" && key.text != "label" && key.text != "opacity" &&
          key.text != "color" && key.text != "material") {
        unexpected(wanted + owner);
      }
      const auto [it, fresh] = seen.emplace(key.text, key.line);
      if (!fresh) {
        throw Failure{key.line, key.text + " is given twice in " + owner + " (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      advance();
      if (key.text == "file") {
        const fs::path path(expectString("a file name in quotes after 'file'").text);
        object.path = (path.is_absolute() ? path : folder_ / path).string();
        hasFile = true;
      } else if (key.text == "material") {
        const Token shader = expectString("a shader name in quotes after 'material'");
        state_.materials.push_back({scene().objects.size(), shader.text, here(shader.line)});
      } else if (key.text == "label") {
        object.label = wholeNumber("the label of " + owner);
      } else if (key.text == "opacity") {
        const int valueLine = tok().line;
        object.opacity = scalar("the opacity of " + owner);
        if (!(object.opacity >= 0.0f && object.opacity <= 1.0f)) {
          throw Failure{valueLine, "the opacity of " + owner + " must lie between 0 and 1"};
        }
      } else {
        for (float& c : object.color) c = scalar("the color (r g b) of " + owner);
      }
    }
    advance();
    if (!isWord("object")) unexpected("'object' after 'end' in " + owner);
    advance();
    if (!hasFile) throw Failure{line, owner + " names no mesh (file \"PATH.obj\")"};
    scene().objects.push_back(std::move(object));
  }

  // `color texture "NAME" "FILE"`, as mental ray declares an image file.
  void texture() {
    const int line = tok().line;
    advance();
    if (!isWord("texture")) unexpected("'texture' after 'color'");
    advance();
    const Token name = expectString("a texture name in quotes after 'color texture'");
    checkDuplicate(&state_.textures, name, "color texture");
    const fs::path path(
        expectString("the image file name in quotes after \"" + shown(name.text) + "\"").text);
    scene().textures.push_back(
        {name.text, (path.is_absolute() ? path : folder_ / path).string(), file(), line});
  }

  float positive(const std::string& what) {
    const int line = tok().line;
    const float value = scalar(what);
    if (!(value > 0.0f)) throw Failure{line, what + " must be positive"};
    return value;
  }

  int resolution(const std::string& what) {
    const int line = tok().line;
    const std::int32_t value = wholeNumber(what);
    if (value < 1 || value > 65536) throw Failure{line, what + " must lie between 1 and 65536"};
    return value;
  }

  void camera() {
    const int line = tok().line;
    advance();
    const Token name = expectString("a camera name in quotes after 'camera'");
    if (scene().camera) {
      throw Failure{line, "camera '" + shown(name.text) + "': a scene has one camera (the " +
                              firstAt(state_.camera) + ")"};
    }
    CameraStatement camera;
    camera.name = name.text;
    camera.line = line;
    const std::string owner = "camera '" + shown(name.text) + "'";
    const char* const wanted = "transform, focal, aperture, aspect, resolution or 'end camera' in ";
    std::unordered_map<std::string, int> seen;
    while (!isWord("end")) {
      if (tok().kind != Tok::Word) unexpected(wanted + owner);
      const Token key = tok();
      if (key.text != "transform" && key.text != "focal" && key.text != "aperture" &&
          key.text != "aspect" && key.text != "resolution") {
        unexpected(wanted + owner);
      }
      const auto [it, fresh] = seen.emplace(key.text, key.line);
      if (!fresh) {
        throw Failure{key.line, key.text + " is given twice in " + owner + " (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      advance();
      if (key.text == "transform") {
        const int valueLine = tok().line;
        const std::vector<float> m = numbers("the transform of " + owner, 16);
        if (m.size() != 16) {
          throw Failure{valueLine, "the transform of " + owner + " takes 16 numbers"};
        }
        std::copy(m.begin(), m.end(), camera.transform.begin());
        if (linearDeterminant(camera.transform.data()) == 0.0) {
          throw Failure{valueLine, "the transform of " + owner + " cannot be inverted"};
        }
      } else if (key.text == "focal") {
        camera.focal = positive("the focal length of " + owner);
      } else if (key.text == "aperture") {
        camera.aperture = positive("the aperture of " + owner);
      } else if (key.text == "aspect") {
        camera.aspect = positive("the aspect of " + owner);
      } else {
        camera.width = resolution("the width of " + owner);
        camera.height = resolution("the height of " + owner);
      }
    }
    advance();
    if (!isWord("camera")) unexpected("'camera' after 'end' in " + owner);
    advance();
    for (const char* needed : {"focal", "aperture", "resolution"}) {
      if (!seen.count(needed)) throw Failure{line, owner + " has no " + needed};
    }
    scene().camera = std::move(camera);
    state_.camera = here(line);
  }

  ReadState& state_;
  fs::path folder_;
};

// What can only be settled once every file is read: names used before
// their statement, and the shape of the connection graph.
class Resolver {
 public:
  explicit Resolver(ReadState& state) : state_(state), scene_(*state.scene) {}

  void run() {
    connections();
    graph();
    textures();
    materials();
    for (const ShaderInstance& instance : scene_.shaders) {
      const std::string problem = checkHostShader(instance);
      if (!problem.empty()) {
        fail({instance.file, instance.line},
             instance.decl->name + " '" + shown(instance.name) + "' " + problem);
      }
    }
  }

 private:
  void connections() {
    std::unordered_map<std::string, std::size_t> indices;
    for (std::size_t i = 0; i < scene_.shaders.size(); ++i) {
      indices.emplace(scene_.shaders[i].name, i);
    }
    for (const PendingConnection& p : state_.connections) {
      const auto found = indices.find(p.target);
      if (found == indices.end()) {
        fail(p.where, "'" + p.param + "' is connected to '" + shown(p.target) +
                          "', which is no shader of this scene");
      }
      const std::size_t to = found->second;
      const ShaderInstance& target = scene_.shaders[to];
      const int resultOffset = connectionOffset(*target.decl, p.kind);
      if (resultOffset < 0) {
        fail(p.where, "'" + p.param + "' (" + kindName(p.kind) + ") cannot take the result of " +
                          target.decl->name + " '" + shown(target.name) + "'");
      }
      if (scene_.connections.size() >= kMaxConnections) fail(p.where, "too many connections");
      scene_.connections.push_back(
          {p.from, to, static_cast<std::size_t>(resultOffset), p.where.file, p.where.line});
      const auto tag = static_cast<miTag>(scene_.connections.size());
      ShaderInstance& from = scene_.shaders[p.from];
      for (std::size_t w = 0; w < plainSize(p.kind) / 4; ++w) from.tags[p.offset / 4 + w] = tag;
      from.connected = true;
    }
  }

  // Connections form a graph over the shaders; shading follows it depth
  // first, so it must have no loop and bounded depth.
  void graph() {
    const std::size_t n = scene_.shaders.size();
    edges_.assign(n, {});
    for (std::size_t c = 0; c < scene_.connections.size(); ++c) {
      edges_[scene_.connections[c].from].push_back(c);
    }
    mark_.assign(n, Mark::New);
    height_.assign(n, 1);
    for (std::size_t i = 0; i < n; ++i) {
      if (mark_[i] == Mark::New) visit(i, 1);
    }
  }

  enum class Mark { New, OnPath, Done };

  // `depth` counts the shaders on the path down to node, node included.
  void visit(std::size_t node, int depth) {
    mark_[node] = Mark::OnPath;
    path_.push_back(node);
    for (std::size_t c : edges_[node]) {
      const Connection& connection = scene_.connections[c];
      const std::size_t to = connection.to;
      if (mark_[to] == Mark::OnPath) {
        std::string loop;
        for (auto it = std::find(path_.begin(), path_.end(), to); it != path_.end(); ++it) {
          loop += "'" + shown(scene_.shaders[*it].name) + "' -> ";
        }
        fail({connection.file, connection.line},
             "connection loop: " + loop + "'" + shown(scene_.shaders[to].name) + "'");
      }
      if (mark_[to] == Mark::New) {
        if (depth + 1 > kMaxConnectionDepth) tooDeep(connection);
        visit(to, depth + 1);
      } else if (depth + height_[to] > kMaxConnectionDepth) {
        tooDeep(connection);
      }
      height_[node] = std::max(height_[node], 1 + height_[to]);
    }
    path_.pop_back();
    mark_[node] = Mark::Done;
  }

  [[noreturn]] static void tooDeep(const Connection& connection) {
    fail({connection.file, connection.line},
         "shaders are connected more than " + std::to_string(kMaxConnectionDepth) + " deep");
  }

  void textures() {
    for (const PendingTexture& p : state_.textureNames) {
      const auto& all = scene_.textures;
      const auto found = std::find_if(
          all.begin(), all.end(), [&](const TextureStatement& t) { return t.name == p.texture; });
      if (found == all.end()) {
        fail(p.where, "'" + p.param + "' names '" + shown(p.texture) +
                          "', which is no color texture of this scene");
      }
      ShaderInstance& instance = scene_.shaders[p.shader];
      instance.block[p.offset / 4] = static_cast<std::uint32_t>(found - all.begin() + 1);
      instance.tags[p.offset / 4] = miPARAMTAG;
    }
  }

  void materials() {
    for (const PendingMaterial& m : state_.materials) {
      ObjectStatement& object = scene_.objects[m.object];
      object.material = scene_.findShader(m.shader);
      if (object.material < 0) {
        fail(m.where, "the material of object '" + shown(object.name) + "', '" + shown(m.shader) +
                          "', is no shader of this scene");
      }
    }
  }

  ReadState& state_;
  MiScene& scene_;
  std::vector<std::vector<std::size_t>> edges_;
  std::vector<Mark> mark_;
  std::vector<int> height_;
  std::vector<std::size_t> path_;
};

}  // namespace

long MiScene::findShader(const std::string& name) const {
  for (std::size_t i = 0; i < shaders.size(); ++i) {
    if (shaders[i].name == name) return static_cast<long>(i);
  }
  return -1;
}

MiParseResult parseMi(const std::string& text, const std::string& fileName,
                      const MiReadOptions& options) {
  MiParseResult result;
  MiScene scene;
  scene.file = fileName;
  if (options.declarations) {
    scene.declarations = *options.declarations;
  } else if (!addHostDeclarations(&scene.declarations, &result.error)) {
    return result;
  }
  ReadState state;
  state.scene = &scene;
  state.options = &options;
  try {
    result.error = host::catchReadFailure(fileName, [&] {
      FileParser(text, fileName, state).run();
      Resolver(state).run();
    });
  } catch (const LocatedFailure& failure) {
    result.error = failure.message;
  }
  if (result.error.empty()) result.scene = std::move(scene);
  return result;
}

MiParseResult readMi(const std::string& path, const MiReadOptions& options) {
  std::string text;
  std::string error;
  if (!host::readTextFile(path, &text, &error)) return MiParseResult{std::nullopt, error};
  return parseMi(text, path, options);
}

bool loadObjects(const MiScene& scene, std::vector<host::SceneObject>* objects,
                 std::string* error) {
  std::vector<host::SceneObject> loaded;
  for (const ObjectStatement& statement : scene.objects) {
    host::SceneObject object;
    std::string meshError;
    if (!host::readObj(statement.path, &object.mesh, &meshError)) {
      *error = statement.file + ":" + std::to_string(statement.line) + ": object '" +
               statement.name + "': " + meshError;
      return false;
    }
    object.name = statement.name;
    object.opacity = statement.opacity;
    object.color = {statement.color[0], statement.color[1], statement.color[2]};
    object.label = statement.label;
    loaded.push_back(std::move(object));
  }
  *objects = std::move(loaded);
  return true;
}

bool loadTextures(const MiScene& scene, std::vector<image::Picture>* images, std::string* error) {
  std::vector<image::Picture> loaded;
  for (const TextureStatement& texture : scene.textures) {
    image::Picture picture;
    std::string reason;
    if (!image::read(texture.path, &picture, &reason)) {
      *error = texture.file + ":" + std::to_string(texture.line) + ": color texture '" +
               texture.name + "': " + reason;
      return false;
    }
    loaded.push_back(std::move(picture));
  }
  *images = std::move(loaded);
  return true;
}

}  // namespace qv::mrhost
