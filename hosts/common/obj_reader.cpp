#include "obj_reader.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "text_file.h"
#include "text_lexer.h"

namespace qv::host {
namespace {

std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// from_chars rejects the '+' that some exporters write.
std::string_view withoutPlus(std::string_view s) {
  return !s.empty() && s[0] == '+' ? s.substr(1) : s;
}

bool parseFloat(std::string_view text, float* out) {
  const std::string_view s = withoutPlus(text);
  double v = 0.0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v) ||
      std::fabs(v) > FLT_MAX) {
    return false;
  }
  *out = static_cast<float>(v);
  return true;
}

bool parseInt(std::string_view text, long long* out) {
  const std::string_view s = withoutPlus(text);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

class Parser {
 public:
  Parser(const std::string& name, TriangleMesh* mesh, std::vector<int>* faceSizes)
      : name_(name), mesh_(*mesh), faceSizes_(faceSizes) {}

  bool line(std::string_view text, int number, std::string* error) {
    line_ = number;
    error_ = error;
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
      text = text.substr(0, hash);
    }
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::vector<std::string_view> t = tokens(text);
    if (t.empty()) return true;
    if (t[0] == "v") return vertex(t);
    if (t[0] == "f") return face(t);
    return true;
  }

 private:
  bool fail(const std::string& message) {
    *error_ = name_ + ":" + std::to_string(line_) + ": " + message;
    return false;
  }

  bool vertex(const std::vector<std::string_view>& t) {
    const std::size_t count = t.size() - 1;
    if (count != 3 && count != 4 && count != 6) {
      return fail("a vertex takes 3 or 4 numbers (or 6 with a colour), got " +
                  std::to_string(count));
    }
    Vec3f v{};
    for (std::size_t i = 1; i <= count; ++i) {
      float value = 0.0f;
      if (!parseFloat(t[i], &value)) return fail("malformed number '" + shown(t[i]) + "'");
      if (i <= 3) v[i - 1] = value;
    }
    mesh_.vertices.push_back(v);
    return true;
  }

  // The vertex of one corner `i`, `i/t`, `i//n` or `i/t/n`; texture and normal
  // indices must be numbers but are otherwise not used.
  bool corner(std::string_view text, std::uint32_t* out) {
    std::string_view parts[3];
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
      const std::size_t slash = text.find('/', start);
      if (count == 3) return fail("malformed face corner '" + shown(text) + "'");
      parts[count++] = text.substr(start, slash == std::string_view::npos ? slash : slash - start);
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    long long index = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const bool optional = i == 1 && count == 3;  // the empty t of i//n
      if (parts[i].empty() && optional) continue;
      long long value = 0;
      if (!parseInt(parts[i], &value)) {
        return fail("malformed index '" + shown(parts[i]) + "' in face corner '" + shown(text) +
                    "'");
      }
      if (i == 0) index = value;
    }
    const auto defined = static_cast<long long>(mesh_.vertices.size());
    const long long resolved = index < 0 ? defined + index : index - 1;
    if (index == 0 || resolved < 0 || resolved >= defined) {
      return fail("vertex index " + std::to_string(index) + " is out of range (" +
                  std::to_string(defined) + (defined == 1 ? " vertex" : " vertices") +
                  " defined so far)");
    }
    *out = static_cast<std::uint32_t>(resolved);
    return true;
  }

  bool face(const std::vector<std::string_view>& t) {
    if (t.size() < 4) {
      return fail("a face needs at least 3 vertices, got " + std::to_string(t.size() - 1));
    }
    std::vector<std::uint32_t> corners(t.size() - 1);
    for (std::size_t i = 1; i < t.size(); ++i) {
      if (!corner(t[i], &corners[i - 1])) return false;
    }
    for (std::size_t i = 1; i + 1 < corners.size(); ++i) {
      mesh_.triangles.push_back({corners[0], corners[i], corners[i + 1]});
    }
    if (faceSizes_) faceSizes_->push_back(static_cast<int>(corners.size()));
    return true;
  }

  const std::string& name_;
  TriangleMesh& mesh_;
  std::vector<int>* faceSizes_;
  int line_ = 0;
  std::string* error_ = nullptr;
};

}  // namespace

bool parseObj(const std::string& text, const std::string& name, TriangleMesh* mesh,
              std::string* error, std::vector<int>* faceSizes) {
  TriangleMesh result;
  std::vector<int> sizes;
  Parser parser(name, &result, faceSizes ? &sizes : nullptr);
  std::string_view rest(text);
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    if (!parser.line(rest.substr(0, end), number, error)) return false;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  *mesh = std::move(result);
  if (faceSizes) *faceSizes = std::move(sizes);
  return true;
}

bool readObj(const std::string& path, TriangleMesh* mesh, std::string* error) {
  std::string text;
  return readTextFile(path, &text, error) && parseObj(text, path, mesh, error);
}

}  // namespace qv::host
