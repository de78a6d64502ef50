// What the OpenMaya classes share: how a call reports its status, fails on
// request, and finds the graph's objects behind the handles it is given.
#pragma once

#include "graph.h"

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

#include <memory>

namespace qv::maya::detail {

// The object a function set is attached to.
struct FnAccess {
  static MObject& held(MFnBase& fn) { return fn.object_; }
  static const MObject& held(const MFnBase& fn) { return fn.object_; }
};

inline MObject& held(MFnBase& fn) {
  return FnAccess::held(fn);
}

inline const MObject& held(const MFnBase& fn) {
  return FnAccess::held(fn);
}

// Maya's optional status out-parameter: written when the caller asked.
inline void report(MStatus* out, MStatus status) {
  if (out) *out = status;
}

// True, with the status reported, when the host arranged for this call of
// `function` to fail.
inline bool failed(const char* function, MStatus* out) {
  MStatus status;
  if (!graph().injected(function, &status)) return false;
  report(out, status);
  return true;
}

inline MObject objectOf(const Object* object) {
  if (!object) return MObject();
  return wrap(const_cast<Object*>(object)->shared_from_this());
}

// Whether the attribute (or the compound it sits in) is one of the node's.
inline bool belongs(const Node& node, const Attribute& attribute) {
  const Attribute* root = attribute.root();
  for (const auto& candidate : node.type->attributes) {
    if (candidate.get() == root) return true;
  }
  return false;
}

// The live node a function set is attached to, or null with
// kInvalidParameter reported.
inline Node* nodeChecked(const MObject& object, MStatus* ReturnStatus) {
  Node* node = nodeOf(object);
  const bool ok = node && node->alive;
  report(ReturnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? node : nullptr;
}

inline std::shared_ptr<Attribute> newAttribute(const MString& longName, const MString& shortName,
                                               AttributeKind kind) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName.asChar();
  attribute->shortName = shortName.asChar();
  attribute->kind = kind;
  return attribute;
}

}  // namespace qv::maya::detail

// Every function set attaches the way MFnBase does; the type check is the
// set's own type().
#define QV_FN_CONSTRUCTOR(Class)                               \
  Class::Class(MObject& object, MStatus* ReturnStatus) {       \
    qv::maya::detail::report(ReturnStatus, setObject(object)); \
  }                                                            \
  Class::Class(const MObject& object, MStatus* ReturnStatus) { \
    qv::maya::detail::report(ReturnStatus, setObject(object)); \
  }                                                            \
  Class::Class() = default;                                    \
  Class::~Class() = default;
