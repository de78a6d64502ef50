#include "host_binding.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "exports.h"
#include "module_lookup.h"
#include "shader.h"

namespace qv::mray {

namespace {

constexpr const char* kHostFunctionNames[kHostFunctionCount] = {
    "mi_phen_eval",         "mi_query",  "mi_tri_vectors", "mi_ray_offset",
    "mi_trace_transparent", "mi_sample",
};

// Render threads resolve slots concurrently; two may store the same address,
// which is harmless, but the slots themselves must be atomic.
std::atomic<void*> gHostModule{nullptr};
std::atomic<void*> gSlots[kHostFunctionCount];

}  // namespace

void bindHostModule(void* handle) {
  gHostModule.store(handle, std::memory_order_release);
  for (std::atomic<void*>& slot : gSlots) slot.store(nullptr, std::memory_order_release);
}

void* hostFunction(HostFunction which) {
  void* address = gSlots[which].load(std::memory_order_acquire);
  if (address) return address;
  void* module = gHostModule.load(std::memory_order_acquire);
  // Where the host hands over no module by design, having none is only
  // worth a word when the process does not hold the function either.
  constexpr const char* kNoModule = "DYNLOAD: dl_handle null\n";
  if (!module && !kUnboundLookupIsGlobal) std::fputs(kNoModule, stderr);
  const char* name = kHostFunctionNames[which];
  int error = 0;
  address = lookupModuleSymbol(module, name, &error);
  if (!address) {
    if (!module && kUnboundLookupIsGlobal) std::fputs(kNoModule, stderr);
    std::fprintf(stderr, "dlsym failed on \"%s\" (handle: 0x%s, error: %d)\n", name,
                 formatHandle(module).c_str(), error);
    return nullptr;
  }
  gSlots[which].store(address, std::memory_order_release);
  return address;
}

}  // namespace qv::mray

// The host hands over its own module before any shader runs.
QV_MI_EXPORT void miSetModuleHandle(void* handle) {
  qv::mray::bindHostModule(handle);
}

// The wrappers: each has the host function's signature and, when the host
// function cannot be resolved, answers what the host would for a failed call.
// A parameter that cannot be evaluated keeps the value in its block, so that
// mi_eval never hands a shader a null address.
extern "C" {

using qv::mray::hostFunction;

void* mi_phen_eval(miState* state, void* param) {
  using Fn = void* (*)(miState*, void*);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kPhenEval));
  return fn ? fn(state, param) : param;
}

miBoolean mi_query(miQ_type query, miState* state, miUint tag, void* result, ...) {
  using Fn = miBoolean (*)(miQ_type, miState*, miUint, void*, ...);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kQuery));
  if (!fn) return miFALSE;
  // Forward exactly the extra arguments that the request takes.
  int extra = 0;
  if (query == miQ_FUNC_PARAM_VALUE) {
    extra = 2;
  } else if (query == miQ_GROUP_KID || query == miQ_FUNC_TLS_GETALL || query == miQ_TEXTURE_DIM ||
             query == miQ_BUMP_BASIS || query == miQ_PRI_VERTICES_TEX ||
             query == miQ_PRI_VERTICES_USER) {
    extra = 1;
  }
  std::va_list args;
  va_start(args, result);
  miBoolean answer;
  if (extra == 0) {
    answer = fn(query, state, tag, result);
  } else {
    void* first = va_arg(args, void*);
    if (extra == 1) {
      answer = fn(query, state, tag, result, first);
    } else {
      void* second = va_arg(args, void*);
      answer = fn(query, state, tag, result, first, second);
    }
  }
  va_end(args);
  return answer;
}

miBoolean mi_tri_vectors(miState* state, int which, int ntex, const miVector** a,
                         const miVector** b, const miVector** c) {
  using Fn =
      miBoolean (*)(miState*, int, int, const miVector**, const miVector**, const miVector**);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kTriVectors));
  return fn ? fn(state, which, ntex, a, b, c) : miFALSE;
}

miBoolean mi_ray_offset(const miState* state, double* offset) {
  using Fn = miBoolean (*)(const miState*, double*);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kRayOffset));
  return fn ? fn(state, offset) : miFALSE;
}

miBoolean mi_trace_transparent(miColor* result, miState* state) {
  using Fn = miBoolean (*)(miColor*, miState*);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kTraceTransparent));
  return fn ? fn(result, state) : miFALSE;
}

miBoolean mi_sample(double* sample, int* instance, miState* state, const miUshort dimension,
                    const miUint* n) {
  using Fn = miBoolean (*)(double*, int*, miState*, const miUshort, const miUint*);
  auto fn = reinterpret_cast<Fn>(hostFunction(qv::mray::kSample));
  return fn ? fn(sample, instance, state, dimension, n) : miFALSE;
}

}  // extern "C"
