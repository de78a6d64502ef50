#include "mi_scene.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "obj_reader.h"
#include "text_file.h"
#include "text_lexer.h"

namespace qv::mrhost {

namespace {

// Every connection nests one shader call inside another on the render
// thread's stack; a chain this long is far beyond any real shading network.
constexpr int kMaxConnectionDepth = 64;

const ParamDecl kLayerMembers[] = {
    {"color", ParamKind::Color},
    {"mask", ParamKind::Scalar},
    {"colorOffset", ParamKind::Color},
    {"placementMatrix", ParamKind::Transform},
    {"passThrough", ParamKind::Boolean},
    {"distanceThreshold", ParamKind::Scalar},
    {"useShadowOcclusion", ParamKind::Boolean},
    {"dilate", ParamKind::Scalar},
    {"samples", ParamKind::Integer},
    {"softEdge", ParamKind::Scalar},
    {"power", ParamKind::Scalar},
    {"useFacingRatio", ParamKind::Boolean},
    {"angleThreshold", ParamKind::Scalar},
    // As on the Maya node: no label is excluded until one is chosen, where 0
    // would exclude every object that was never given a label.
    {"labelExclude", ParamKind::Integer, nullptr, 0, -1},
    {"premult", ParamKind::Boolean},
};

const ParamDecl kShotWeaveParams[] = {
    {"layers", ParamKind::Array, kLayerMembers, std::size(kLayerMembers)},
};

const ParamDecl kConstParams[] = {
    {"color", ParamKind::Color},
    {"opacity", ParamKind::Scalar},
    {"alphaOverride", ParamKind::Boolean},
    {"alphaValue", ParamKind::Scalar},
};

// The host's projection of a painting through a camera (see
// base_shaders.h): a texture, the camera placed as a layer's placementMatrix,
// its lens, and the colour where the camera shows nothing.
const ParamDecl kTextureProjectionParams[] = {
    {"tex", ParamKind::Texture},   {"placementMatrix", ParamKind::Transform},
    {"focal", ParamKind::Scalar},  {"aperture", ParamKind::Scalar},
    {"default", ParamKind::Color},
};

#define QV_MASK(n) \
  { "outMask" #n, ParamKind::Scalar, 52 + 4 * (n) }
// clang-format off
const ResultMember kShotWeaveResult[] = {
    {"outColor", ParamKind::Color, 0},  {"outTransparency", ParamKind::Color, 16},
    {"outMatte", ParamKind::Color, 32}, {"outAlpha", ParamKind::Scalar, 48},
    QV_MASK(0),  QV_MASK(1),  QV_MASK(2),  QV_MASK(3),  QV_MASK(4),
    QV_MASK(5),  QV_MASK(6),  QV_MASK(7),  QV_MASK(8),  QV_MASK(9),
    QV_MASK(10), QV_MASK(11), QV_MASK(12), QV_MASK(13), QV_MASK(14),
    QV_MASK(15), QV_MASK(16), QV_MASK(17), QV_MASK(18), QV_MASK(19),
};
// clang-format on
#undef QV_MASK

float wordAsFloat(const ShaderInstance& instance, std::size_t word) {
  float value;
  std::memcpy(&value, &instance.block[word], sizeof value);
  return value;
}

// Of the 3x3 part of a row-major 4x4 transform: 0 when the transform flattens
// space, so that no camera could be placed by it.
double linearDeterminant(const float* m) {
  const double a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9],
               i = m[10];
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// A literal lens or placement the projection could only answer with
// nonsense; connected values are the connected shader's business.
std::string checkTextureProjection(const ShaderInstance& instance) {
  if (instance.block[0] == 0) return "names no texture (\"tex\" \"NAME\")";
  for (const auto& [word, name] : {std::pair{17, "focal"}, std::pair{18, "aperture"}}) {
    if (instance.ghost[word] == 0 && !(wordAsFloat(instance, word) > 0.0f)) {
      return std::string("\"") + name + "\" must be positive";
    }
  }
  float matrix[16];
  for (std::size_t i = 0; i < 16; ++i) matrix[i] = wordAsFloat(instance, 1 + i);
  if (linearDeterminant(matrix) == 0.0) return "\"placementMatrix\" cannot be inverted";
  return "";
}

// qv_shotWeave's result: outColor, outTransparency, outMatte, outAlpha and
// twenty masks; a colour parameter takes outColor, a scalar one outAlpha.
// A projection's colour feeds colours, its alpha scalars (a layer's mask).
const ShaderDecl kShaderDecls[] = {
    {"qv_shotWeave",
     22,
     kShotWeaveParams,
     std::size(kShotWeaveParams),
     {132, 0, 48, kShotWeaveResult, std::size(kShotWeaveResult)}},
    {"qv_const", 13, kConstParams, std::size(kConstParams), {16, 0, -1}},
    {"mib_texture_projection",
     1,
     kTextureProjectionParams,
     std::size(kTextureProjectionParams),
     {16, 0, 12},
     true,
     checkTextureProjection},
};

std::size_t membersSize(const ParamDecl* members, std::size_t count) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < count; ++i) size += paramSize(members[i].kind);
  return size;
}

using host::shown;
using host::Tok;
using host::Token;
using Failure = host::TextFailure;

constexpr host::LexerStyle kStyle = {
    "#",         // lineComment
    "",          // moreWordChars
    "",          // pairs
    "()[]{},=",  // punctuation
    "\"\\",      // escapes
    "\"\\",      // escaped
    false,       // stringsSpanLines
};

// A connection as written, resolved once every shader of the file is known.
struct PendingConnection {
  std::size_t from;
  std::size_t offset;  // bytes into the block
  ParamKind kind;
  std::string param;
  std::string target;
  int line;
};

// A texture parameter's name, resolved once every texture is known.
struct PendingTexture {
  std::size_t shader;
  std::size_t offset;  // bytes into the block
  std::string param;
  std::string texture;
  int line;
};

// Every construct has a fixed nesting depth, so the descent is bounded no
// matter how deeply the input tries to nest.
class Parser : host::TokenReader {
 public:
  Parser(const std::string& text, std::filesystem::path folder)
      : TokenReader(text, kStyle), folder_(std::move(folder)) {}

  void run(MiScene* scene) {
    scene_ = scene;
    while (tok().kind != Tok::End) {
      if (isWord("shader")) {
        shader();
      } else if (isWord("object")) {
        object();
      } else if (isWord("camera")) {
        camera();
      } else if (isWord("color")) {
        texture();
      } else {
        unexpected("'shader', 'object', 'camera' or 'color texture'");
      }
    }
    resolveConnections();
    checkConnectionGraph();
    resolveTextures();
    resolveMaterials();
    for (const ShaderInstance& instance : scene_->shaders) {
      if (!instance.decl->check) continue;
      const std::string problem = instance.decl->check(instance);
      if (!problem.empty()) {
        throw Failure{instance.line, std::string(instance.decl->name) + " '" +
                                         shown(instance.name) + "' " + problem};
      }
    }
  }

 private:
  Token expectString(const std::string& wanted) {
    if (tok().kind != Tok::String) unexpected(wanted);
    return take();
  }

  std::int32_t wholeNumber(const std::string& what) {
    if (tok().kind != Tok::Int) unexpected("a whole number for " + what);
    const Token t = take();
    const std::int64_t v = host::toInt64(t);
    if (v < INT_MIN || v > INT_MAX) {
      throw Failure{t.line, "whole number " + shown(t.text) + " is out of range for " + what};
    }
    return static_cast<std::int32_t>(v);
  }

  float scalar(const std::string& what) {
    if (!isNumber()) unexpected("a number for " + what);
    const Token t = take();
    double v = 0.0;
    // Narrowing an out-of-range double to float is undefined behaviour.
    if (!host::toDouble(t, &v) || !(std::fabs(v) <= FLT_MAX)) {
      throw Failure{t.line, "number " + shown(t.text) + " is out of range for " + what};
    }
    return static_cast<float>(v);
  }

  // As many numbers as follow, up to one more than `most`.
  std::vector<float> numbers(const std::string& what, std::size_t most) {
    std::vector<float> values;
    while (isNumber() && values.size() <= most) values.push_back(scalar(what));
    return values;
  }

  void checkDuplicate(std::unordered_map<std::string, int>* seen, const Token& name,
                      const std::string& what) {
    const auto [it, fresh] = seen->emplace(name.text, name.line);
    if (!fresh) {
      throw Failure{name.line, what + " '" + shown(name.text) +
                                   "' is defined twice (first at line " +
                                   std::to_string(it->second) + ")"};
    }
  }

  void shader() {
    const int line = tok().line;
    advance();
    const Token name = expectString("a shader name in quotes after 'shader'");
    checkDuplicate(&shaderLines_, name, "shader");
    const Token type =
        expectString("the shader's type in quotes after \"" + shown(name.text) + "\"");
    const ShaderDecl* decl = findShaderDecl(type.text);
    if (!decl) {
      std::string known;
      for (const ShaderDecl& d : kShaderDecls) {
        known += std::string(known.empty() ? "" : ", ") + d.name;
      }
      throw Failure{type.line,
                    "unknown shader type '" + shown(type.text) + "' (known: " + known + ")"};
    }
    ShaderInstance instance;
    instance.name = name.text;
    instance.decl = decl;
    instance.line = line;
    std::size_t size = 0;
    for (std::size_t i = 0; i < decl->paramCount; ++i) {
      const ParamDecl& p = decl->params[i];
      size += paramSize(p.kind);
      if (p.kind == ParamKind::Array) size += membersSize(p.members, p.memberCount);
    }
    resize(instance, size);
    scene_->shaders.push_back(std::move(instance));
    const std::size_t index = scene_->shaders.size() - 1;
    expect("(", "'(' after the type of shader \"" + shown(name.text) + "\"");
    params(index, decl->params, decl->paramCount, 0, ")", std::string(decl->name));
  }

  static void resize(ShaderInstance& instance, std::size_t bytes) {
    instance.block.resize(bytes / 4, 0u);
    instance.ghost.resize(bytes / 4, 0);
  }

  void store(std::size_t index, std::size_t offset, std::uint32_t word) {
    scene_->shaders[index].block[offset / 4] = word;
  }

  void storeFloat(std::size_t index, std::size_t offset, float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    store(index, offset, word);
  }

  // `( "name" value, ... )` or an array element's `{ ... }`: the parameters
  // `decls`, laid out from `base` on. `owner` names them in messages.
  void params(std::size_t index, const ParamDecl* decls, std::size_t count, std::size_t base,
              const char* closing, const std::string& owner) {
    std::size_t offset = base;
    for (std::size_t i = 0; i < count; ++i) {
      if (decls[i].kind == ParamKind::Integer && decls[i].integerDefault != 0) {
        store(index, offset, static_cast<std::uint32_t>(decls[i].integerDefault));
      }
      offset += paramSize(decls[i].kind);
    }
    std::unordered_map<std::string, int> seen;
    if (isPunct(closing)) {
      advance();
      return;
    }
    for (;;) {
      const Token name =
          expectString(std::string("a parameter name in quotes or '") + closing + "' in " + owner);
      std::size_t offset = base;
      const ParamDecl* decl = nullptr;
      for (std::size_t i = 0; i < count && !decl; ++i) {
        if (name.text == decls[i].name) {
          decl = &decls[i];
        } else {
          offset += paramSize(decls[i].kind);
        }
      }
      if (!decl) {
        throw Failure{name.line, owner + " has no parameter '" + shown(name.text) + "'"};
      }
      const auto [it, fresh] = seen.emplace(name.text, name.line);
      if (!fresh) {
        throw Failure{name.line, "'" + name.text + "' is set twice in " + owner +
                                     " (first at line " + std::to_string(it->second) + ")"};
      }
      if (isPunct("=")) {
        advance();
        if (decl->kind == ParamKind::Array) {
          throw Failure{name.line, "'" + name.text + "' is an array and cannot be connected"};
        }
        const Token target =
            expectString("the name in quotes of the shader connected to '" + name.text + "'");
        pending_.push_back({index, offset, decl->kind, name.text, target.text, name.line});
      } else {
        value(index, *decl, offset, name);
      }
      if (isPunct(closing)) break;
      expect(",", std::string("',' or '") + closing + "' after the value of '" + name.text + "'");
    }
    advance();
  }

  void value(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    const std::string what = "'" + name.text + "'";
    switch (decl.kind) {
      case ParamKind::Integer:
        store(index, offset, static_cast<std::uint32_t>(wholeNumber(what)));
        return;
      case ParamKind::Scalar:
        storeFloat(index, offset, scalar(what));
        return;
      case ParamKind::Boolean:
        if (!isWord("on") && !isWord("off")) unexpected("on or off for " + what);
        store(index, offset, take().text == "on" ? 1u : 0u);
        return;
      case ParamKind::Color: {
        const int line = tok().line;
        std::vector<float> c = numbers(what, 4);
        if (c.size() == 3) c.push_back(1.0f);
        if (c.size() != 4) {
          if (c.empty()) unexpected("a colour (r g b [a]) for " + what);
          throw Failure{line, what + " takes a colour of 3 or 4 numbers, found " +
                                  (c.size() > 4 ? std::string("more") : std::to_string(c.size()))};
        }
        for (std::size_t i = 0; i < 4; ++i) storeFloat(index, offset + 4 * i, c[i]);
        return;
      }
      case ParamKind::Transform: {
        const int line = tok().line;
        const std::vector<float> m = numbers(what, 16);
        if (m.empty()) unexpected("a transform of 16 numbers for " + what);
        if (m.size() != 16) {
          throw Failure{line, what + " takes a transform of 16 numbers, found " +
                                  (m.size() > 16 ? std::string("more") : std::to_string(m.size()))};
        }
        for (std::size_t i = 0; i < 16; ++i) storeFloat(index, offset + 4 * i, m[i]);
        return;
      }
      case ParamKind::Array:
        array(index, decl, offset, name);
        return;
      case ParamKind::Texture: {
        const Token texture = expectString("the name in quotes of a color texture for " + what);
        textures_.push_back({index, offset, name.text, texture.text, texture.line});
        return;
      }
    }
  }

  // The elements follow the header; one element's room is always there, as
  // the shader's record declares it, even when the array is empty.
  void array(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    expect("[", "'[' to open the elements of '" + name.text + "'");
    const std::size_t elementSize = membersSize(decl.members, decl.memberCount);
    const std::size_t first = offset + paramSize(ParamKind::Array);
    const std::string owner = "an element of '" + name.text + "'";
    std::int32_t count = 0;
    if (!isPunct("]")) {
      for (;;) {
        if (count == INT_MAX) throw Failure{tok().line, "too many elements in '" + name.text + "'"};
        const std::size_t base = first + elementSize * static_cast<std::size_t>(count);
        if (base + elementSize > scene_->shaders[index].block.size() * 4) {
          resize(scene_->shaders[index], base + elementSize);
        }
        expect("{", "'{' to open " + owner);
        params(index, decl.members, decl.memberCount, base, "}", owner);
        ++count;
        if (isPunct("]")) break;
        expect(",", "',' or ']' after " + owner);
      }
    }
    advance();
    store(index, offset, 0u);  // the elements start the array storage
    store(index, offset + 4, static_cast<std::uint32_t>(count));
  }

  void object() {
    const int line = tok().line;
    advance();
    const Token name = expectString("an object name in quotes after 'object'");
    checkDuplicate(&objectLines_, name, "object");
    ObjectStatement object;
    object.name = name.text;
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
        const std::filesystem::path path(expectString("a file name in quotes after 'file'").text);
        object.path = (path.is_absolute() ? path : folder_ / path).string();
        hasFile = true;
      } else if (key.text == "material") {
        const Token shader = expectString("a shader name in quotes after 'material'");
        materials_.push_back({scene_->objects.size(), shader.text, shader.line});
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
    scene_->objects.push_back(std::move(object));
  }

  // `color texture "NAME" "FILE"`, as mental ray declares an image file.
  void texture() {
    const int line = tok().line;
    advance();
    if (!isWord("texture")) unexpected("'texture' after 'color'");
    advance();
    const Token name = expectString("a texture name in quotes after 'color texture'");
    checkDuplicate(&textureLines_, name, "color texture");
    const std::filesystem::path path(
        expectString("the image file name in quotes after \"" + shown(name.text) + "\"").text);
    scene_->textures.push_back(
        {name.text, (path.is_absolute() ? path : folder_ / path).string(), line});
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
    if (scene_->camera) {
      throw Failure{line, "camera '" + shown(name.text) +
                              "': a scene has one camera (the first is at line " +
                              std::to_string(scene_->camera->line) + ")"};
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
      const auto [it, fresh] = seen.emplace(key.text, key.line);
      if (!fresh) {
        throw Failure{key.line, key.text + " is given twice in " + owner + " (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      if (key.text == "transform") {
        advance();
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
        advance();
        camera.focal = positive("the focal length of " + owner);
      } else if (key.text == "aperture") {
        advance();
        camera.aperture = positive("the aperture of " + owner);
      } else if (key.text == "aspect") {
        advance();
        camera.aspect = positive("the aspect of " + owner);
      } else if (key.text == "resolution") {
        advance();
        camera.width = resolution("the width of " + owner);
        camera.height = resolution("the height of " + owner);
      } else {
        unexpected(wanted + owner);
      }
    }
    advance();
    if (!isWord("camera")) unexpected("'camera' after 'end' in " + owner);
    advance();
    for (const char* needed : {"focal", "aperture", "resolution"}) {
      if (!seen.count(needed)) throw Failure{line, owner + " has no " + needed};
    }
    scene_->camera = std::move(camera);
  }

  void resolveTextures() {
    for (const PendingTexture& p : textures_) {
      const auto& textures = scene_->textures;
      const auto found =
          std::find_if(textures.begin(), textures.end(),
                       [&](const TextureStatement& t) { return t.name == p.texture; });
      if (found == textures.end()) {
        throw Failure{p.line, "'" + p.param + "' names '" + shown(p.texture) +
                                  "', which is no color texture of this file"};
      }
      store(p.shader, p.offset, static_cast<std::uint32_t>(found - textures.begin() + 1));
    }
  }

  void resolveMaterials() {
    for (const PendingMaterial& m : materials_) {
      ObjectStatement& object = scene_->objects[m.object];
      object.material = scene_->findShader(m.shader);
      if (object.material < 0) {
        throw Failure{m.line, "the material of object '" + shown(object.name) + "', '" +
                                  shown(m.shader) + "', is no shader of this file"};
      }
    }
  }

  void resolveConnections() {
    std::unordered_map<std::string, std::size_t> indices;
    for (std::size_t i = 0; i < scene_->shaders.size(); ++i) {
      indices.emplace(scene_->shaders[i].name, i);
    }
    for (const PendingConnection& p : pending_) {
      const auto found = indices.find(p.target);
      if (found == indices.end()) {
        throw Failure{p.line, "'" + p.param + "' is connected to '" + shown(p.target) +
                                  "', which is no shader of this file"};
      }
      const std::size_t to = found->second;
      const ShaderInstance& target = scene_->shaders[to];
      const ResultDecl& result = target.decl->result;
      const int resultOffset = p.kind == ParamKind::Color    ? result.colorOffset
                               : p.kind == ParamKind::Scalar ? result.scalarOffset
                                                             : -1;
      if (resultOffset < 0) {
        throw Failure{p.line, "'" + p.param + "' (" + kindName(p.kind) +
                                  ") cannot take the result of " + target.decl->name + " '" +
                                  shown(target.name) + "'"};
      }
      scene_->connections.push_back({p.from, to, static_cast<std::size_t>(resultOffset), p.line});
      const auto entry = static_cast<miInteger>(scene_->connections.size());
      ShaderInstance& from = scene_->shaders[p.from];
      for (std::size_t w = 0; w < paramSize(p.kind) / 4; ++w) from.ghost[p.offset / 4 + w] = entry;
      from.connected = true;
    }
  }

  // Connections form a graph over the shaders; shading follows it depth
  // first, so it must have no loop and bounded depth.
  void checkConnectionGraph() {
    const std::size_t n = scene_->shaders.size();
    edges_.assign(n, {});
    for (std::size_t c = 0; c < scene_->connections.size(); ++c) {
      edges_[scene_->connections[c].from].push_back(c);
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
      const Connection& connection = scene_->connections[c];
      const std::size_t to = connection.to;
      if (mark_[to] == Mark::OnPath) {
        std::string loop;
        for (auto it = std::find(path_.begin(), path_.end(), to); it != path_.end(); ++it) {
          loop += "'" + shown(scene_->shaders[*it].name) + "' -> ";
        }
        throw Failure{connection.line,
                      "connection loop: " + loop + "'" + shown(scene_->shaders[to].name) + "'"};
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
    throw Failure{connection.line, "shaders are connected more than " +
                                       std::to_string(kMaxConnectionDepth) + " deep"};
  }

  std::filesystem::path folder_;
  MiScene* scene_ = nullptr;
  std::unordered_map<std::string, int> shaderLines_;
  std::unordered_map<std::string, int> objectLines_;
  std::unordered_map<std::string, int> textureLines_;
  std::vector<PendingConnection> pending_;
  std::vector<PendingTexture> textures_;
  struct PendingMaterial {
    std::size_t object;
    std::string shader;
    int line;
  };
  std::vector<PendingMaterial> materials_;
  std::vector<std::vector<std::size_t>> edges_;
  std::vector<Mark> mark_;
  std::vector<int> height_;
  std::vector<std::size_t> path_;
};

}  // namespace

const ShaderDecl* findShaderDecl(const std::string& name) {
  for (const ShaderDecl& decl : kShaderDecls) {
    if (name == decl.name) return &decl;
  }
  return nullptr;
}

std::size_t paramSize(ParamKind kind) {
  switch (kind) {
    case ParamKind::Integer:
    case ParamKind::Boolean:
    case ParamKind::Scalar:
    case ParamKind::Texture:
      return 4;
    case ParamKind::Color:
      return 16;
    case ParamKind::Transform:
      return 64;
    case ParamKind::Array:
      return 8;
  }
  return 0;
}

const char* kindName(ParamKind kind) {
  switch (kind) {
    case ParamKind::Integer:
      return "an integer";
    case ParamKind::Boolean:
      return "a boolean";
    case ParamKind::Scalar:
      return "a scalar";
    case ParamKind::Color:
      return "a colour";
    case ParamKind::Transform:
      return "a transform";
    case ParamKind::Array:
      return "an array";
    case ParamKind::Texture:
      return "a texture";
  }
  return "nothing";
}

const ResultMember* findResultMember(const ShaderDecl& decl, const std::string& name) {
  for (std::size_t i = 0; i < decl.result.memberCount; ++i) {
    if (name == decl.result.members[i].name) return &decl.result.members[i];
  }
  return nullptr;
}

long MiScene::findShader(const std::string& name) const {
  for (std::size_t i = 0; i < shaders.size(); ++i) {
    if (shaders[i].name == name) return static_cast<long>(i);
  }
  return -1;
}

MiParseResult parseMi(const std::string& text, const std::string& fileName) {
  MiParseResult result;
  result.error = host::catchReadFailure(fileName, [&] {
    MiScene scene;
    scene.file = fileName;
    Parser(text, std::filesystem::path(fileName).parent_path()).run(&scene);
    result.scene = std::move(scene);
  });
  return result;
}

MiParseResult readMi(const std::string& path) {
  std::string text;
  std::string error;
  if (!host::readTextFile(path, &text, &error)) return MiParseResult{std::nullopt, error};
  return parseMi(text, path);
}

bool loadObjects(const MiScene& scene, std::vector<host::SceneObject>* objects,
                 std::string* error) {
  std::vector<host::SceneObject> loaded;
  for (const ObjectStatement& statement : scene.objects) {
    host::SceneObject object;
    std::string meshError;
    if (!host::readObj(statement.path, &object.mesh, &meshError)) {
      *error = scene.file + ":" + std::to_string(statement.line) + ": object '" + statement.name +
               "': " + meshError;
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

bool loadTextures(const MiScene& scene, std::vector<image::Rgba>* images, std::string* error) {
  std::vector<image::Rgba> loaded;
  for (const TextureStatement& texture : scene.textures) {
    image::Rgba picture;
    std::string reason;
    if (!image::read(texture.path, &picture, &reason)) {
      *error = scene.file + ":" + std::to_string(texture.line) + ": color texture '" +
               texture.name + "': " + reason;
      return false;
    }
    loaded.push_back(std::move(picture));
  }
  *images = std::move(loaded);
  return true;
}

}  // namespace qv::mrhost
