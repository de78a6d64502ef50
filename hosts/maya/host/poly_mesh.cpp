#include "poly_mesh.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <map>
#include <utility>

namespace qv::maya {

namespace saved {

bool splitPlug(const std::string& plug, std::vector<PlugElement>* elements) {
  elements->clear();
  size_t at = 0;
  while (at < plug.size()) {
    if (plug[at] != '.') return false;
    ++at;
    PlugElement element;
    while (at < plug.size() && plug[at] != '.' && plug[at] != '[') element.name += plug[at++];
    if (element.name.empty()) return false;
    if (at < plug.size() && plug[at] == '[') {
      size_t close = plug.find(']', at);
      if (close == std::string::npos) return false;
      std::string inside = plug.substr(at + 1, close - at - 1);
      size_t colon = inside.find(':');
      std::string first = inside.substr(0, colon);
      std::string last = colon == std::string::npos ? first : inside.substr(colon + 1);
      if (!parseInt(first, &element.first) || !parseInt(last, &element.last)) return false;
      // No Maya array reaches past an int's range; refusing larger indices
      // here keeps every count derived from them exact.
      if (element.first < 0 || element.last < element.first || element.last > INT_MAX) return false;
      element.indexed = true;
      at = close + 1;
    }
    elements->push_back(std::move(element));
  }
  return !elements->empty();
}

bool parseDouble(const std::string& word, double* value) {
  const char* begin = word.data();
  const char* end = begin + word.size();
  auto [stop, status] = std::from_chars(begin, end, *value);
  return status == std::errc() && stop == end && std::isfinite(*value);
}

bool parseInt(const std::string& word, long long* value) {
  const char* begin = word.data();
  const char* end = begin + word.size();
  auto [stop, status] = std::from_chars(begin, end, *value);
  return status == std::errc() && stop == end;
}

bool parseBool(const std::string& word, bool* value) {
  if (word == "yes" || word == "true" || word == "on" || word == "1") {
    *value = true;
    return true;
  }
  if (word == "no" || word == "false" || word == "off" || word == "0") {
    *value = false;
    return true;
  }
  return false;
}

}  // namespace saved

namespace {

using saved::PlugElement;

// A loop of a saved face: its edge ids as written, and the UV ids each UV
// set gives its vertices.
struct SavedLoop {
  std::vector<int> edges;
  std::map<int, std::vector<int>> uvs;
};

struct SavedFace {
  SavedLoop outer;
  std::vector<SavedLoop> holes;
};

struct SavedUvSet {
  std::string name;
  bool named = false;
  std::map<long long, std::array<float, 2>> points;
};

// Everything the node's setAttrs say, index by index; a later setAttr of the
// same element replaces the earlier one, as it does in Maya.
struct Saved {
  std::map<long long, std::array<double, 3>> vt;
  std::map<long long, std::array<long long, 2>> ed;
  std::map<long long, SavedFace> fc;
  std::map<long long, SavedUvSet> uvst;
  std::map<long long, std::array<double, 3>> pt;
  bool hasCurrentSet = false;
  std::string currentSet;
};

// The short name of each attribute read here, whichever name the file uses.
std::string shortName(const std::string& name) {
  static const std::map<std::string, std::string> kLong = {
      {"vrts", "vt"},          {"edge", "ed"},        {"face", "fc"},           {"uvSet", "uvst"},
      {"uvSetPoints", "uvsp"}, {"uvSetName", "uvsn"}, {"currentUVSet", "cuvs"}, {"pnts", "pt"},
      {"pntx", "px"},          {"pnty", "py"},        {"pntz", "pz"},           {"vrtx", "vx"},
      {"vrty", "vy"},          {"vrtz", "vz"}};
  auto found = kLong.find(name);
  return found == kLong.end() ? name : found->second;
}

bool fail(std::string* error, const std::string& node, const std::string& attribute,
          const std::string& what) {
  if (error) *error = node + "." + attribute + ": " + what;
  return false;
}

// The elements a setAttr of `stride` numbers per element covers: its index
// range, which must hold exactly as many elements as the words give, so that
// nothing is sized from the index alone.
bool elementRange(const std::string& node, const std::string& attribute, const PlugElement& element,
                  size_t words, size_t stride, long long* first, long long* count,
                  std::string* error) {
  if (words % stride != 0)
    return fail(
        error, node, attribute,
        std::to_string(words) + " numbers are not whole groups of " + std::to_string(stride));
  long long given = static_cast<long long>(words / stride);
  if (!element.indexed) {
    *first = 0;
    *count = given;
  } else {
    *first = element.first;
    *count = element.last - element.first + 1;
    if (*count != given)
      return fail(error, node, attribute,
                  std::to_string(*count) + " elements need " +
                      std::to_string(*count * static_cast<long long>(stride)) +
                      " numbers, the file gives " + std::to_string(words));
  }
  if (*first + *count - 1 > INT_MAX - 1)
    return fail(error, node, attribute, "index beyond what a mesh can hold");
  return true;
}

bool readNumbers(const std::string& node, const std::string& attribute,
                 const std::vector<std::string>& words, std::vector<double>* numbers,
                 std::string* error) {
  numbers->resize(words.size());
  for (size_t i = 0; i < words.size(); ++i)
    if (!saved::parseDouble(words[i], &(*numbers)[i]))
      return fail(error, node, attribute, "\"" + words[i] + "\" is not a number");
  return true;
}

// Points (vt) and tweaks (pt): whole triples, or one coordinate through a
// child (.pt[3].py).
bool readPoints(const std::string& node, const std::string& attribute,
                const std::vector<PlugElement>& path, const std::vector<std::string>& words,
                std::map<long long, std::array<double, 3>>* points, std::string* error) {
  std::vector<double> numbers;
  if (!readNumbers(node, attribute, words, &numbers, error)) return false;
  if (path.size() == 2) {
    std::string child = shortName(path[1].name);
    int axis = -1;
    if (child == "px" || child == "vx") axis = 0;
    if (child == "py" || child == "vy") axis = 1;
    if (child == "pz" || child == "vz") axis = 2;
    if (axis < 0) return true;  // not a coordinate: nothing the mesh needs
    if (!path[0].indexed || path[0].first != path[0].last || numbers.size() != 1)
      return fail(error, node, attribute, "one coordinate of one point expected");
    (*points)[path[0].first][axis] = numbers[0];
    return true;
  }
  long long first = 0;
  long long count = 0;
  if (!elementRange(node, attribute, path[0], numbers.size(), 3, &first, &count, error))
    return false;
  for (long long i = 0; i < count; ++i)
    (*points)[first + i] = {numbers[3 * i], numbers[3 * i + 1], numbers[3 * i + 2]};
  return true;
}

bool readEdges(const std::string& node, const std::string& attribute, const PlugElement& element,
               const std::vector<std::string>& words, Saved* mesh, std::string* error) {
  long long first = 0;
  long long count = 0;
  if (!elementRange(node, attribute, element, words.size(), 3, &first, &count, error)) return false;
  for (long long i = 0; i < count; ++i) {
    std::array<long long, 3> numbers{};
    for (int k = 0; k < 3; ++k)
      if (!saved::parseInt(words[3 * i + k], &numbers[k]))
        return fail(error, node, attribute, "\"" + words[3 * i + k] + "\" is not an integer");
    mesh->ed[first + i] = {numbers[0], numbers[1]};
  }
  return true;
}

// The polyFaces words: per face "f N e..." then any of "h N e..." (a hole),
// "mu S N uv..." (UVs of set S for the loop before it), the older "mf N
// uv..." / "mh N uv..." (set 0, of the face / of the last hole), "fc N c..."
// and "mc S N c..." (colours, not needed here).
class FaceReader {
 public:
  FaceReader(const std::vector<std::string>& words) : words_(words) {}

  bool read(std::vector<SavedFace>* faces, std::string* what) {
    while (at_ < words_.size()) {
      const std::string& tag = words_[at_++];
      if (tag == "f") {
        faces->emplace_back();
        if (!readLoop(&faces->back().outer.edges, what)) return false;
        continue;
      }
      if (faces->empty()) {
        *what = "\"" + tag + "\" before the first face";
        return false;
      }
      SavedFace& face = faces->back();
      SavedLoop& last = face.holes.empty() ? face.outer : face.holes.back();
      if (tag == "h") {
        face.holes.emplace_back();
        if (!readLoop(&face.holes.back().edges, what)) return false;
      } else if (tag == "mu" || tag == "mf" || tag == "mh") {
        long long set = 0;
        if (tag == "mu" && !readInt(&set, what)) return false;
        if (set < 0 || set > INT_MAX) {
          *what = "UV set " + std::to_string(set) + " does not exist";
          return false;
        }
        SavedLoop& loop = tag == "mf" ? face.outer : last;
        std::vector<int> ids;
        if (!readList(&ids, what)) return false;
        if (ids.size() != loop.edges.size()) {
          *what = "\"" + tag + "\" gives " + std::to_string(ids.size()) + " UVs to a loop of " +
                  std::to_string(loop.edges.size()) + " vertices";
          return false;
        }
        loop.uvs[static_cast<int>(set)] = std::move(ids);
      } else if (tag == "fc" || tag == "mc") {
        long long set = 0;
        std::vector<int> ids;
        if ((tag == "mc" && !readInt(&set, what)) || !readList(&ids, what)) return false;
      } else {
        *what = "unknown polyFaces word \"" + tag + "\"";
        return false;
      }
    }
    return true;
  }

 private:
  bool readInt(long long* value, std::string* what) {
    if (at_ >= words_.size()) {
      *what = "the face data ends early";
      return false;
    }
    if (!saved::parseInt(words_[at_], value) || *value < INT_MIN || *value > INT_MAX) {
      *what = "\"" + words_[at_] + "\" is not an integer";
      return false;
    }
    ++at_;
    return true;
  }

  bool readList(std::vector<int>* ids, std::string* what) {
    long long count = 0;
    if (!readInt(&count, what)) return false;
    if (count < 0 || static_cast<unsigned long long>(count) > words_.size() - at_) {
      *what = "a count of " + std::to_string(count) + " with " +
              std::to_string(words_.size() - at_) + " words left";
      return false;
    }
    ids->resize(static_cast<size_t>(count));
    for (auto& id : *ids) {
      long long value = 0;
      if (!readInt(&value, what)) return false;
      id = static_cast<int>(value);
    }
    return true;
  }

  bool readLoop(std::vector<int>* edges, std::string* what) {
    if (!readList(edges, what)) return false;
    if (edges->size() < 3) {
      *what = "a loop of " + std::to_string(edges->size()) + " edges";
      return false;
    }
    return true;
  }

  const std::vector<std::string>& words_;
  size_t at_ = 0;
};

bool readFaces(const std::string& node, const std::string& attribute, const PlugElement& element,
               const std::vector<std::string>& words, Saved* mesh, std::string* error) {
  std::vector<SavedFace> faces;
  std::string what;
  FaceReader reader(words);
  if (!reader.read(&faces, &what)) return fail(error, node, attribute, what);
  long long first = 0;
  long long count = static_cast<long long>(faces.size());
  if (element.indexed) {
    first = element.first;
    if (element.last - element.first + 1 != count)
      return fail(error, node, attribute,
                  std::to_string(element.last - element.first + 1) +
                      " faces named, the file gives " + std::to_string(count));
  }
  if (first + count - 1 > INT_MAX - 1)
    return fail(error, node, attribute, "index beyond what a mesh can hold");
  for (long long i = 0; i < count; ++i) mesh->fc[first + i] = std::move(faces[i]);
  return true;
}

bool readUvPoints(const std::string& node, const std::string& attribute, const PlugElement& element,
                  const std::vector<std::string>& words, SavedUvSet* set, std::string* error) {
  std::vector<double> numbers;
  if (!readNumbers(node, attribute, words, &numbers, error)) return false;
  long long first = 0;
  long long count = 0;
  if (!elementRange(node, attribute, element, numbers.size(), 2, &first, &count, error))
    return false;
  for (long long i = 0; i < count; ++i)
    set->points[first + i] = {static_cast<float>(numbers[2 * i]),
                              static_cast<float>(numbers[2 * i + 1])};
  return true;
}

bool readValue(const std::string& node, const SavedValue& value, Saved* mesh, std::string* error) {
  std::string attribute =
      value.plug.size() > 1 && value.plug[0] == '.' ? value.plug.substr(1) : value.plug;
  std::vector<PlugElement> path;
  if (!saved::splitPlug(value.plug, &path)) return fail(error, node, attribute, "malformed plug");
  std::string name = shortName(path[0].name);
  if (name == "vt" && path.size() <= 2)
    return readPoints(node, attribute, path, value.words, &mesh->vt, error);
  if (name == "pt" && path.size() <= 2)
    return readPoints(node, attribute, path, value.words, &mesh->pt, error);
  if (name == "ed" && path.size() == 1)
    return readEdges(node, attribute, path[0], value.words, mesh, error);
  if (name == "fc" && path.size() == 1)
    return readFaces(node, attribute, path[0], value.words, mesh, error);
  if (name == "cuvs" && path.size() == 1) {
    if (value.words.size() != 1) return fail(error, node, attribute, "one set name expected");
    mesh->hasCurrentSet = true;
    mesh->currentSet = value.words[0];
    return true;
  }
  if (name == "uvst" && path.size() == 2) {
    if (!path[0].indexed || path[0].first != path[0].last)
      return fail(error, node, attribute, "one UV set expected");
    if (path[0].first > INT_MAX) return fail(error, node, attribute, "no such UV set");
    std::string child = shortName(path[1].name);
    SavedUvSet& set = mesh->uvst[path[0].first];
    if (child == "uvsn") {
      if (value.words.size() != 1) return fail(error, node, attribute, "one set name expected");
      set.name = value.words[0];
      set.named = true;
      return true;
    }
    if (child == "uvsp") return readUvPoints(node, attribute, path[1], value.words, &set, error);
  }
  return true;  // an attribute the drawn mesh does not depend on
}

// The elements of a map as an array, which must have no gaps.
template <typename T>
bool contiguous(const std::string& node, const std::string& attribute,
                const std::map<long long, T>& elements, std::string* error) {
  if (elements.empty()) return true;
  long long expected = static_cast<long long>(elements.size());
  if (elements.rbegin()->first != expected - 1) {
    long long missing = 0;
    for (const auto& element : elements) {
      if (element.first != missing) break;
      ++missing;
    }
    return fail(error, node, attribute + "[" + std::to_string(missing) + "]",
                "missing, though later elements are set");
  }
  return true;
}

// The start vertex of each edge of a loop in its direction of travel; the
// loop must close on itself.
bool loopVertices(const std::string& node, const std::string& attribute,
                  const std::vector<int>& edgeIds,
                  const std::vector<std::array<long long, 2>>& edges, std::vector<int>* vertices,
                  std::string* error) {
  vertices->clear();
  std::vector<int> ends;
  for (int id : edgeIds) {
    long long edge = id >= 0 ? id : -static_cast<long long>(id) - 1;
    if (edge >= static_cast<long long>(edges.size()))
      return fail(error, node, attribute,
                  "names edge " + std::to_string(edge) + " of " + std::to_string(edges.size()));
    const auto& ends2 = edges[static_cast<size_t>(edge)];
    vertices->push_back(static_cast<int>(id >= 0 ? ends2[0] : ends2[1]));
    ends.push_back(static_cast<int>(id >= 0 ? ends2[1] : ends2[0]));
  }
  for (size_t i = 0; i < ends.size(); ++i)
    if (ends[i] != (*vertices)[(i + 1) % vertices->size()])
      return fail(error, node, attribute, "its edges do not join into a loop");
  return true;
}

}  // namespace

bool meshFromSavedValues(const std::string& node, const std::vector<SavedValue>& values,
                         const PolyMesh* upstream, PolyMesh* mesh, std::string* error) {
  Saved saved;
  for (const auto& value : values)
    if (!readValue(node, value, &saved, error)) return false;

  PolyMesh built;
  if (upstream) {
    built = *upstream;
  } else {
    if (!contiguous(node, "vt", saved.vt, error) || !contiguous(node, "ed", saved.ed, error) ||
        !contiguous(node, "fc", saved.fc, error))
      return false;
    for (const auto& point : saved.vt) built.points.push_back(point.second);

    std::vector<std::array<long long, 2>> edges;
    long long vertexCount = static_cast<long long>(built.points.size());
    for (const auto& edge : saved.ed) {
      for (long long end : edge.second)
        if (end < 0 || end >= vertexCount)
          return fail(error, node, "ed[" + std::to_string(edge.first) + "]",
                      "names vertex " + std::to_string(end) + " of " + std::to_string(vertexCount));
      edges.push_back(edge.second);
    }

    // The UV set shown: the one cuvs names (set 0 is "map1" unless named),
    // else the lowest.
    const SavedUvSet* shown = nullptr;
    long long shownIndex = -1;
    for (auto& [index, set] : saved.uvst) {
      if (!set.named && index == 0) set.name = "map1";
      if (!contiguous(node, "uvst[" + std::to_string(index) + "].uvsp", set.points, error))
        return false;
    }
    if (saved.hasCurrentSet) {
      for (const auto& [index, set] : saved.uvst)
        if (set.name == saved.currentSet) {
          shown = &set;
          shownIndex = index;
          break;
        }
      if (!shown && !saved.uvst.empty())
        return fail(error, node, "cuvs", "no UV set is named \"" + saved.currentSet + "\"");
    } else if (!saved.uvst.empty()) {
      shown = &saved.uvst.begin()->second;
      shownIndex = saved.uvst.begin()->first;
    }
    if (shown)
      for (const auto& point : shown->points) built.uvs.push_back(point.second);

    for (const auto& [index, face] : saved.fc) {
      std::string attribute = "fc[" + std::to_string(index) + "]";
      PolyMesh::Face out;
      if (!loopVertices(node, attribute, face.outer.edges, edges, &out.vertices, error))
        return false;
      std::vector<int> holeVertices;
      for (const auto& hole : face.holes)
        if (!loopVertices(node, attribute, hole.edges, edges, &holeVertices, error)) return false;
      std::vector<const SavedLoop*> loops = {&face.outer};
      for (const auto& hole : face.holes) loops.push_back(&hole);
      for (const SavedLoop* loop : loops)
        for (const auto& [set, ids] : loop->uvs) {
          auto found = saved.uvst.find(set);
          long long count =
              found == saved.uvst.end() ? 0 : static_cast<long long>(found->second.points.size());
          for (int id : ids)
            if (id < -1 || id >= count)
              return fail(error, node, attribute,
                          "UV " + std::to_string(id) + " of " + std::to_string(count) +
                              " in UV set " + std::to_string(set));
        }
      if (shownIndex >= 0) {
        auto found = face.outer.uvs.find(static_cast<int>(shownIndex));
        if (found != face.outer.uvs.end()) out.uvs = found->second;
      }
      built.faces.push_back(std::move(out));
    }
  }

  for (const auto& [index, tweak] : saved.pt) {
    if (index >= static_cast<long long>(built.points.size()))
      return fail(
          error, node, "pt[" + std::to_string(index) + "]",
          "tweaks vertex " + std::to_string(index) + " of " + std::to_string(built.points.size()));
    for (int axis = 0; axis < 3; ++axis)
      built.points[static_cast<size_t>(index)][axis] += tweak[axis];
  }
  *mesh = std::move(built);
  return true;
}

PolyTriangles triangulate(const PolyMesh& mesh) {
  PolyTriangles triangles;
  auto uvOf = [&](const PolyMesh::Face& face, size_t corner) -> std::array<float, 2> {
    if (corner >= face.uvs.size()) return {0.0f, 0.0f};
    int id = face.uvs[corner];
    if (id < 0 || static_cast<size_t>(id) >= mesh.uvs.size()) return {0.0f, 0.0f};
    return mesh.uvs[static_cast<size_t>(id)];
  };
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const auto& face = mesh.faces[f];
    for (size_t i = 1; i + 1 < face.vertices.size(); ++i) {
      triangles.corners.push_back({face.vertices[0], face.vertices[i], face.vertices[i + 1]});
      triangles.uvs.push_back({uvOf(face, 0), uvOf(face, i), uvOf(face, i + 1)});
      triangles.faces.push_back(static_cast<int>(f));
    }
  }
  return triangles;
}

}  // namespace qv::maya
