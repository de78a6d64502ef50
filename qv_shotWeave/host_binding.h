// The library's binding to the mental ray host: every host function the
// shaders call is looked up by name, on first use, without a lock, in the
// module that the host handed over through miSetModuleHandle, or, where it
// handed over none (mental ray on Linux and macOS), in the process's global
// scope.
#pragma once

namespace qv::mray {

enum HostFunction {
  kPhenEval,
  kQuery,
  kTriVectors,
  kRayOffset,
  kTraceTransparent,
  kSample,
  kHostFunctionCount
};

// The host function's address, resolving it if its slot is empty. Null, after
// the binding's messages on the standard error stream, when it cannot be
// resolved; the next call tries again.
void* hostFunction(HostFunction which);

// Stores the host module and empties every slot.
void bindHostModule(void* handle);

}  // namespace qv::mray
