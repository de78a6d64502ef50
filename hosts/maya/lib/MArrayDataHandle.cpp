#include "api_support.h"
#include "graph.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>

#include <algorithm>

using qv::maya::detail::Attribute;
using qv::maya::detail::graph;
using qv::maya::detail::loadSlot;
using qv::maya::detail::Node;
using qv::maya::detail::report;

MArrayDataHandle::MArrayDataHandle() = default;
MArrayDataHandle::MArrayDataHandle(const MArrayDataHandle& other) = default;
MArrayDataHandle& MArrayDataHandle::operator=(const MArrayDataHandle& other) = default;

// An input handle brings the array up to date first, connected elements
// pulling their sources.
MArrayDataHandle::MArrayDataHandle(Node* node, const Attribute* array, bool input)
    : node_(node), array_(array) {
  if (input) graph().evaluate(*node, *array);
  for (const Attribute* element : graph().elementsOf(*node, *array)) {
    indices_.push_back(element->logicalIndex);
  }
}

// Arrays of arrays are not modelled: no data handle holds an array.
MArrayDataHandle::MArrayDataHandle(const MDataHandle&, MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
}

namespace {

// The handle of the current element, loaded from the node's values.
MDataHandle current(Node* node, const Attribute* array, const std::vector<unsigned int>& indices,
                    unsigned int position, MStatus* ReturnStatus) {
  if (!node || !array || position >= indices.size()) {
    report(ReturnStatus, MS::kFailure);
    return MDataHandle();
  }
  report(ReturnStatus, MS::kSuccess);
  const Attribute* element = array->element(indices[position]);
  loadSlot(*node, *element);
  return qv::maya::detail::HandleAccess::make(node, element);
}

}  // namespace

MDataHandle MArrayDataHandle::inputValue(MStatus* ReturnStatus) {
  return current(node_, array_, indices_, position_, ReturnStatus);
}
MDataHandle MArrayDataHandle::outputValue(MStatus* ReturnStatus) {
  return current(node_, array_, indices_, position_, ReturnStatus);
}
MArrayDataHandle MArrayDataHandle::inputArrayValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MArrayDataHandle();
}
MArrayDataHandle MArrayDataHandle::outputArrayValue(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kInvalidParameter);
  return MArrayDataHandle();
}
MStatus MArrayDataHandle::next() {
  if (position_ < indices_.size()) ++position_;
  return position_ < indices_.size() ? MS::kSuccess : MS::kFailure;
}
unsigned int MArrayDataHandle::elementCount(MStatus* ReturnStatus) {
  report(ReturnStatus, MS::kSuccess);
  return static_cast<unsigned int>(indices_.size());
}
unsigned int MArrayDataHandle::elementIndex(MStatus* ReturnStatus) {
  if (position_ >= indices_.size()) {
    report(ReturnStatus, MS::kFailure);
    return 0;
  }
  report(ReturnStatus, MS::kSuccess);
  return indices_[position_];
}
MStatus MArrayDataHandle::jumpToElement(unsigned int index) {
  auto found = std::lower_bound(indices_.begin(), indices_.end(), index);
  if (found == indices_.end() || *found != index) return MS::kInvalidParameter;
  position_ = static_cast<unsigned int>(found - indices_.begin());
  return MS::kSuccess;
}
MStatus MArrayDataHandle::jumpToArrayElement(unsigned int position) {
  if (position >= indices_.size()) return MS::kInvalidParameter;
  position_ = position;
  return MS::kSuccess;
}
MStatus MArrayDataHandle::setClean() {
  return MS::kSuccess;
}
MStatus MArrayDataHandle::setAllClean() {
  return MS::kSuccess;
}
