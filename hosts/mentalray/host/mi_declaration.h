// Shader declarations: what mental ray's `declare shader ... end declare`
// says about a shader, from which the host lays out its parameter blocks and
// reads its results.
//
//   declare shader
//     struct { color "outColor", scalar "outAlpha" } "name" (
//       integer "count" default 3,
//       color "tint" default 1 1 1,
//       array struct "layers" { scalar "mask" default 1, boolean "premult" default on }
//     )
//     #: nodeid 1234
//     version 2
//     apply material, texture
//     trace on
//   end declare
//
// Parameters are laid out one after another in declaration order, four-byte
// words all (booleans and integers one word, a scalar one, a vector three, a
// colour four, a transform sixteen, a colour texture its tag). An array is
// stored as mental ray stores it: the index of its first element (i_NAME),
// the element count (n_NAME) and the room of one element, which the elements
// start from when nothing follows it and which they are counted from when
// they lie further on. A shader without a result type returns a colour.
//
// The same files serve mental ray for Maya, whose Node Factory reads "#:"
// comments as its own keywords: after a parameter default, min, max,
// softmin, softmax, shortname and hidden, among a declaration's options
// nodeid. Anything else after "#:" is an error there, and so it is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "text_lexer.h"

namespace qv::mrhost {

// A colour texture is stored as its tag.
enum class ParamKind { Boolean, Integer, Scalar, Vector, Color, Transform, Texture, Struct, Array };

// What Maya's Node Factory takes from the "#:" comment after a parameter.
// Only Maya reads these; the host keeps them so that a file it accepts is
// one that Maya accepts too.
struct MayaHints {
  std::vector<float> defaults, min, max;  // one to three numbers each, when given
  std::vector<float> softMin, softMax;    // one number, when given
  std::string shortName;
  bool hidden = false;
};

struct ParamDecl {
  std::string name;  // "" for a shader's plain result and an array's element
  ParamKind kind = ParamKind::Integer;
  // A structure's members; an array's element, alone.
  std::vector<ParamDecl> members;
  std::size_t offset = 0;  // bytes from the start of the block, or of the structure
  // Bytes; an array: its header, which the room of one element follows.
  std::size_t size = 0;
  // What the parameter holds unless the scene sets it, word by word (size / 4
  // words; an array: its header, zero).
  std::vector<std::uint32_t> defaults;
  int line = 0;
  MayaHints maya;

  const ParamDecl& element() const { return members.front(); }  // of an array
};

struct ShaderDecl {
  std::string name;
  ParamDecl result;               // a structure with named members, or one value
  std::vector<ParamDecl> params;  // in block order
  // Bytes of the block with room for one element of a closing array, which
  // an instance keeps even when the array is empty.
  std::size_t blockSize = 0;
  int version = 0;
  std::vector<std::string> apply;  // what the shader may be used as
  // The Maya node ID from "#: nodeid", 0 when none is given; no two shaders
  // may share one, as Maya keys the nodes of binary scenes by it.
  std::uint32_t nodeId = 0;
  int nodeIdLine = 0;
  std::string file;  // where it was declared
  int line = 0;
};

// Two declarations that say the same, wherever they were read.
bool sameDeclaration(const ShaderDecl& a, const ShaderDecl& b);

// What the kind is called in messages ("a colour", "an integer" ...).
const char* kindName(ParamKind kind);

// Bytes a parameter of a kind other than a structure takes in the block (an
// array: its header, the index of the first element and the count).
std::size_t plainSize(ParamKind kind);

// The member of this name of the declaration's result, or null.
const ParamDecl* findResultMember(const ShaderDecl& decl, const std::string& name);

// Where a parameter of this kind connected to a shader of this declaration
// finds its value, in bytes into the result; -1 when the result has none. A
// result of the parameter's kind is taken whole, a colour feeds a scalar its
// alpha, and a structure the first member of the parameter's kind.
int connectionOffset(const ShaderDecl& decl, ParamKind kind);

// The declarations a reader knows, by shader name. A shader may be declared
// again only as it was declared first.
class Declarations {
 public:
  // False, with what is wrong in error (for the caller to place at the new
  // declaration, at the line given in `line` when it is not null), when a
  // different declaration of the shader is known or another shader has its
  // node ID.
  bool add(const std::shared_ptr<const ShaderDecl>& decl, std::string* error, int* line = nullptr);
  // Every declaration of `other`, on the same terms.
  bool add(const Declarations& other, std::string* error);
  std::shared_ptr<const ShaderDecl> find(const std::string& name) const;
  std::string names() const;  // "a, b, c", for messages
  bool empty() const { return byName_.empty(); }

 private:
  std::map<std::string, std::shared_ptr<const ShaderDecl>> byName_;
};

// How mental ray's scene files are split into tokens.
extern const host::LexerStyle kMiStyle;

// The reading of declarations and parameter values, which scene files and
// declaration files share. Failures are host::TextFailure at the line.
class DeclarationReader : protected host::TokenReader {
 protected:
  DeclarationReader(const std::string& text, std::string file);

  const std::string& file() const { return file_; }

  // `declare shader ... end declare`, from the `declare` under the cursor.
  std::shared_ptr<ShaderDecl> declaration();

  // A value written for a parameter of a plain kind (neither texture,
  // structure nor array), as the words it is stored in. `what` names it.
  std::vector<std::uint32_t> literal(ParamKind kind, const std::string& what);

  host::Token expectString(const std::string& wanted);
  std::int32_t wholeNumber(const std::string& what);
  float scalar(const std::string& what);
  // As many numbers as follow, up to one more than `most`.
  std::vector<float> numbers(const std::string& what, std::size_t most);

  // "#:" comments before the cursor, in no place where mental ray for Maya
  // reads them: `strict`, refused; otherwise (what a scene holds outside its
  // declarations, which no Node Factory reads) passed over.
  void strayKeywordComments(bool strict);

 private:
  ParamKind type(bool* isArray, const std::string& where);
  ParamDecl param(const std::string& where, bool inStructure);
  std::vector<ParamDecl> members(const char* closing, const std::string& where, bool inStructure);
  void options(ShaderDecl* decl, const std::string& where);

  // "#:" comments, which the lexer drops with the others; each is placed by
  // its line against the tokens around it.
  struct KeywordComment {
    int line;
    std::string text;  // what follows "#:"
  };
  // Those that lie before the token under the cursor, not yet taken.
  bool keywordCommentPending() const;
  void paramKeywords(ParamDecl* param, const std::string& where);
  void requirementKeywords(ShaderDecl* decl, const std::string& where);

  std::string file_;
  std::vector<KeywordComment> keywordComments_;
  std::size_t nextKeywordComment_ = 0;
};

// Reads a file that holds declarations only, such as the one installed beside
// a shader library or the host's own. False with "FILE:LINE: what" in error.
bool parseDeclarations(const std::string& text, const std::string& fileName, Declarations* into,
                       std::string* error);
bool readDeclarations(const std::string& path, Declarations* into, std::string* error);

// Adds the declarations of the host's own shaders, from the declaration file
// the host carries (base.mi, compiled in), on the terms of Declarations::add.
bool addHostDeclarations(Declarations* into, std::string* error);

}  // namespace qv::mrhost
