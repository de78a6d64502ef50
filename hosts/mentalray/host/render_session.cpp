#include "render_session.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <new>
#include <thread>

namespace qv::mrhost {

namespace {

double length(const miVector& v) {
  return std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                   static_cast<double>(v.z) * v.z);
}

bool sameVector(const miVector& a, const miVector& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Whether a shader asked from state b would see what it saw asked from a.
// Bitwise, so that a NaN compares equal to itself.
bool sameShadingPoint(const miState& a, const miState& b) {
  return a.type == b.type && a.instance == b.instance && a.pri == b.pri &&
         sameVector(a.point, b.point) && sameVector(a.normal, b.normal) &&
         sameVector(a.dir, b.dir) && sameVector(a.org, b.org);
}

}  // namespace

ShaderRecord::ShaderRecord(const ShaderInstance& instance) {
  const std::size_t blockBytes = instance.block.size() * 4;
  constexpr std::size_t kBlockAt = offsetof(miFunction, parameters);
  const std::size_t bytes = std::max(sizeof(miFunction), kBlockAt + 2 * blockBytes);
  storage_ = std::make_unique<std::uint64_t[]>((bytes + 7) / 8);
  function_ = new (storage_.get()) miFunction{};
  function_->type = miFUNCTION_C;
  function_->function_decl = miNULLTAG;
  function_->parameter_size = static_cast<int>(blockBytes);
  function_->result_size = instance.decl ? static_cast<int>(instance.decl->result.size) : 0;
  function_->ghost_offs = static_cast<int>(blockBytes);
  function_->has_connections = instance.connected ? miTRUE : miFALSE;
  char* block = reinterpret_cast<char*>(storage_.get()) + kBlockAt;
  static_assert(sizeof(miTag) == 4, "one tag per word");
  std::memcpy(block, instance.block.data(), blockBytes);
  std::memcpy(block + blockBytes, instance.tags.data(), blockBytes);
}

RenderSession::ThreadShading::ThreadShading(const RenderSession& session, int thread)
    : session_(session), thread_(thread), slots_(session.scene_.shaders.size()) {
  context_.tracer = &session.tracer_;
  context_.scene = this;
  context_.evaluate = &ThreadShading::evaluateConnection;
  context_.textures = session.textures_;
}

miState RenderSession::ThreadShading::idleState() {
  miState state{};
  state.type = miRAY_EYE;
  state.dist = -1.0;
  state.thread = static_cast<short>(thread_);
  state.user = &context_;
  return state;
}

bool RenderSession::ThreadShading::shade(std::size_t shader, miState* state, float* values) {
  forgetResults();
  miFunction* function = session_.records_[shader].function();
  state->shader = function;
  std::fill(values, values + resultWords(shader), 0.0f);
  return session_.code_[shader]->function(values, state, function->parameters) != miFALSE;
}

std::size_t RenderSession::ThreadShading::resultWords(std::size_t shader) const {
  return session_.scene_.shaders[shader].decl->result.size / 4;
}

void RenderSession::ThreadShading::forgetResults() {
  for (std::size_t s : touched_) slots_[s].used = 0;
  touched_.clear();
}

const void* RenderSession::ThreadShading::evaluateConnection(void* scene, miState* state,
                                                             miTag tag) {
  return static_cast<ThreadShading*>(scene)->evaluate(state, tag);
}

// A shader's result depends on nothing but the state it is asked from, so
// a connected shader runs once per shading point however many parameters
// it feeds: a network whose shaders feed each other several times over
// would otherwise run exponentially often.
const void* RenderSession::ThreadShading::evaluate(miState* state, miTag tag) {
  const std::vector<Connection>& connections = session_.scene_.connections;
  if (tag < 1 || tag > connections.size()) return nullptr;
  const Connection& connection = connections[tag - 1];
  const std::size_t to = connection.to;
  Slot& slot = slots_[to];
  for (std::size_t i = 0; i < slot.used; ++i) {
    const Result& known = slot.results[i];
    if (sameShadingPoint(known.asked, *state)) {
      return known.ok ? reinterpret_cast<const char*>(known.storage.get()) + connection.resultOffset
                      : nullptr;
    }
  }
  if (slot.used == 0) touched_.push_back(to);
  if (slot.used == slot.results.size()) {
    Result fresh;
    fresh.storage = std::make_unique<std::uint32_t[]>(resultWords(to));
    slot.results.push_back(std::move(fresh));
  }
  const std::size_t index = slot.used++;
  Result& result = slot.results[index];
  result.asked = *state;
  result.ok = false;
  std::uint32_t* storage = result.storage.get();
  std::fill(storage, storage + resultWords(to), 0u);

  miState connected = *state;
  miFunction* function = session_.records_[to].function();
  connected.shader = function;
  connected.child = nullptr;
  const bool ok = session_.code_[to]->function(storage, &connected, function->parameters);
  // The connected shader may have asked for shaders of its own, whose slots
  // may have grown; this slot has not, as no shader reaches itself.
  slots_[to].results[index].ok = ok;
  return ok ? reinterpret_cast<const char*>(storage) + connection.resultOffset : nullptr;
}

bool RenderSession::prepare(const std::string& shaderName, std::string* error) {
  const long top = scene_.findShader(shaderName);
  if (top < 0) {
    *error = scene_.file + " has no shader '" + shaderName + "'";
    return false;
  }
  if (!prepareShaders({static_cast<std::size_t>(top)}, error)) return false;
  top_ = static_cast<std::size_t>(top);
  return true;
}

bool RenderSession::prepareMaterials(std::string* error) {
  std::vector<std::size_t> tops;
  for (const ObjectStatement& object : scene_.objects) {
    if (object.material >= 0) tops.push_back(static_cast<std::size_t>(object.material));
  }
  return prepareShaders(tops, error);
}

bool RenderSession::prepareShaders(const std::vector<std::size_t>& tops, std::string* error) {
  const std::size_t count = scene_.shaders.size();
  std::vector<std::vector<std::size_t>> feeds(count);
  for (const Connection& c : scene_.connections) feeds[c.from].push_back(c.to);
  std::vector<bool> reached(count, false);
  std::vector<std::size_t> pending;
  for (const std::size_t top : tops) {
    if (!reached[top]) pending.push_back(top);
    reached[top] = true;
  }
  while (!pending.empty()) {
    const std::size_t from = pending.back();
    pending.pop_back();
    for (const std::size_t to : feeds[from]) {
      if (!reached[to]) {
        reached[to] = true;
        pending.push_back(to);
      }
    }
  }

  std::vector<const Shader*> code(count, nullptr);
  for (std::size_t i = 0; i < count; ++i) {
    if (!reached[i]) continue;
    const ShaderDecl& decl = *scene_.shaders[i].decl;
    const Shader* shader = libraries_.find(decl.name, error);
    if (!shader) return false;
    if (shader->version != decl.version) {
      *error = decl.file + ":" + std::to_string(decl.line) + ": shader '" + decl.name +
               "' is declared as version " + std::to_string(decl.version) +
               ", but its code is version " + std::to_string(shader->version);
      return false;
    }
    code[i] = shader;
  }

  code_ = std::move(code);
  records_.clear();
  records_.reserve(count);
  for (const ShaderInstance& instance : scene_.shaders) records_.emplace_back(instance);
  return true;
}

void RenderSession::initShaders(ThreadShading& thread) {
  initialised_.clear();
  for (std::size_t i = 0; i < code_.size(); ++i) {
    const Shader* shader = code_[i];
    if (!shader) continue;
    miState state = thread.idleState();
    state.shader = records_[i].function();
    auto it = std::find_if(initialised_.begin(), initialised_.end(),
                           [&](const auto& done) { return done.first == shader; });
    if (it == initialised_.end()) {
      miBoolean instanceInit = miFALSE;
      if (shader->init) shader->init(&state, nullptr, &instanceInit);
      initialised_.emplace_back(shader, instanceInit != miFALSE);
      it = std::prev(initialised_.end());
    }
    if (it->second && shader->init) shader->init(&state, records_[i].parameters(), nullptr);
  }
}

void RenderSession::exitShaders(ThreadShading& thread) {
  for (std::size_t i = code_.size(); i-- > 0;) {
    const Shader* shader = code_[i];
    if (!shader || !shader->exit) continue;
    const auto it = std::find_if(initialised_.begin(), initialised_.end(),
                                 [&](const auto& done) { return done.first == shader; });
    if (it == initialised_.end() || !it->second) continue;
    miState state = thread.idleState();
    state.shader = records_[i].function();
    shader->exit(&state, records_[i].parameters());
  }
  for (auto it = initialised_.rbegin(); it != initialised_.rend(); ++it) {
    if (!it->first->exit) continue;
    miState state = thread.idleState();
    it->first->exit(&state, nullptr);
  }
  initialised_.clear();
}

void RenderSession::run(int threads, const std::function<void(ThreadShading&)>& work) {
  const int threadCount = std::max(1, threads);
  std::vector<std::unique_ptr<ThreadShading>> shading;
  for (int t = 0; t < threadCount; ++t)
    shading.push_back(std::make_unique<ThreadShading>(*this, t));
  initShaders(*shading[0]);
  {
    std::vector<std::thread> workers;
    for (int t = 1; t < threadCount; ++t) {
      workers.emplace_back(
          [&work, &thread = *shading[static_cast<std::size_t>(t)]] { work(thread); });
    }
    work(*shading[0]);
    for (std::thread& worker : workers) worker.join();
  }
  exitShaders(*shading[0]);
}

ShadingResults RenderSession::shade(const std::vector<ShadingPoint>& points,
                                    const ShadingOptions& options) {
  ShadingResults results;
  if (top_ >= code_.size() || !code_[top_]) return results;  // not prepared
  const std::size_t perPoint = scene_.shaders[top_].decl->result.size / 4;
  results.valuesPerPoint = perPoint;
  results.values.assign(points.size() * perPoint, 0.0f);
  results.shaded.assign(points.size(), 0);

  const auto threadCount = static_cast<std::size_t>(std::max(1, options.threads));
  run(static_cast<int>(threadCount), [&](ThreadShading& thread) {
    for (auto i = static_cast<std::size_t>(thread.index()); i < points.size(); i += threadCount) {
      const ShadingPoint& point = points[i];
      miState state = thread.idleState();
      state.type = options.rayType;
      state.point = point.point;
      state.normal = point.normal;
      state.dir = point.dir;
      // The eye sits one ray length back along the ray that reached the point.
      state.org = {point.point.x - point.dir.x, point.point.y - point.dir.y,
                   point.point.z - point.dir.z};
      state.dist = length(point.dir);
      // A point named by position alone was hit on the surface it lies on, if
      // any: rays that leave it must not find that surface again.
      const double p[3] = {point.point.x, point.point.y, point.point.z};
      const double magnitude = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      host::SurfaceId surface;
      if (const auto found = tracer_.surfaceAt(p, 1e-4 * std::max(1.0, magnitude))) {
        surface = *found;
        state.pri = primitiveOf(&surface);
        state.instance = instanceTag(surface.object);
      }
      results.shaded[i] = thread.shade(top_, &state, &results.values[i * perPoint]);
    }
  });
  return results;
}

}  // namespace qv::mrhost
