#include "api_support.h"
#include "graph.h"

#include <maya/MFnLightDataAttribute.h>

#include <memory>
#include <vector>

using qv::maya::detail::Attribute;
using qv::maya::detail::AttributeKind;
using qv::maya::detail::attributeOf;
using qv::maya::detail::failed;
using qv::maya::detail::newAttribute;
using qv::maya::detail::objectOf;
using qv::maya::detail::report;

QV_FN_CONSTRUCTOR(MFnLightDataAttribute)

namespace {

// Direction and intensity give three numbers each, the rest one: eleven
// leaves with defaults, then the blind data.
constexpr size_t kLeavesWithDefaults = 11;

std::vector<Attribute*> lightLeaves(const MObject& object) {
  Attribute* attribute = attributeOf(object);
  std::vector<Attribute*> leaves;
  if (!attribute || !attribute->lightData) return leaves;
  std::vector<const Attribute*> found;
  qv::maya::detail::collectLeaves(*attribute, found);
  for (const Attribute* leaf : found) leaves.push_back(const_cast<Attribute*>(leaf));
  return leaves.size() > kLeavesWithDefaults ? leaves : std::vector<Attribute*>();
}

}  // namespace

MObject MFnLightDataAttribute::create(const MString& fullName, const MString& briefName,
                                      const MObject& direction, const MObject& intensity,
                                      const MObject& ambient, const MObject& diffuse,
                                      const MObject& specular, const MObject& shadowFraciton,
                                      const MObject& preShadowIntensity, const MObject& blindData,
                                      MStatus* ReturnStatus) {
  qv::maya::detail::held(*this) = MObject();
  if (failed("MFnLightDataAttribute::create", ReturnStatus)) return MObject();
  const MObject* parts[] = {&direction,      &intensity,          &ambient,  &diffuse, &specular,
                            &shadowFraciton, &preShadowIntensity, &blindData};
  const size_t widths[] = {3, 3, 1, 1, 1, 1, 1, 1};
  std::vector<std::shared_ptr<Attribute>> children;
  for (size_t i = 0; i < 8; ++i) {
    Attribute* child = attributeOf(*parts[i]);
    std::vector<const Attribute*> leaves;
    if (child) qv::maya::detail::collectLeaves(*child, leaves);
    bool numeric = leaves.size() == widths[i];
    for (const Attribute* leaf : leaves) numeric = numeric && leaf->kind == AttributeKind::kNumeric;
    if (!child || !numeric || child->parent || child->added) {
      report(ReturnStatus, MS::kInvalidParameter);
      return MObject();
    }
    children.push_back(std::static_pointer_cast<Attribute>(qv::maya::detail::shared(*parts[i])));
  }
  auto parent = newAttribute(fullName, briefName, AttributeKind::kCompound);
  parent->lightData = true;
  for (auto& child : children) {
    child->parent = parent.get();
    parent->children.push_back(child);
  }
  qv::maya::detail::held(*this) = qv::maya::detail::wrap(parent);
  report(ReturnStatus, MS::kSuccess);
  return qv::maya::detail::held(*this);
}

MStatus MFnLightDataAttribute::getDefault(float& defDirectionX, float& defDirectionY,
                                          float& defDirectionZ, float& defIntensityR,
                                          float& defIntensityG, float& defIntensityB,
                                          bool& defAmbient, bool& defDiffuse, bool& defSpecular,
                                          float& defShadowFraction, float& defPreShadowIntensity,
                                          void*& defBlindData) {
  const auto leaves = lightLeaves(qv::maya::detail::held(*this));
  if (leaves.empty()) return MS::kInvalidParameter;
  float* floats[] = {&defDirectionX, &defDirectionY, &defDirectionZ,
                     &defIntensityR, &defIntensityG, &defIntensityB};
  for (size_t i = 0; i < 6; ++i) *floats[i] = static_cast<float>(leaves[i]->defaultNumber);
  defAmbient = leaves[6]->defaultNumber != 0.0;
  defDiffuse = leaves[7]->defaultNumber != 0.0;
  defSpecular = leaves[8]->defaultNumber != 0.0;
  defShadowFraction = static_cast<float>(leaves[9]->defaultNumber);
  defPreShadowIntensity = static_cast<float>(leaves[10]->defaultNumber);
  defBlindData = nullptr;
  return MS::kSuccess;
}

MStatus MFnLightDataAttribute::setDefault(float defDirectionX, float defDirectionY,
                                          float defDirectionZ, float defIntensityR,
                                          float defIntensityG, float defIntensityB, bool defAmbient,
                                          bool defDiffuse, bool defSpecular,
                                          float defShadowFraction, float defPreShadowIntensity,
                                          void*) {
  MStatus status;
  if (failed("MFnLightDataAttribute::setDefault", &status)) return status;
  const auto leaves = lightLeaves(qv::maya::detail::held(*this));
  if (leaves.empty()) return MS::kInvalidParameter;
  const double values[kLeavesWithDefaults] = {
      defDirectionX,           defDirectionY,     defDirectionZ,          defIntensityR,
      defIntensityG,           defIntensityB,     defAmbient ? 1.0 : 0.0, defDiffuse ? 1.0 : 0.0,
      defSpecular ? 1.0 : 0.0, defShadowFraction, defPreShadowIntensity};
  for (size_t i = 0; i < kLeavesWithDefaults; ++i) leaves[i]->defaultNumber = values[i];
  return MS::kSuccess;
}

MObject MFnLightDataAttribute::child(unsigned int index, MStatus* returnStatus) {
  const Attribute* attribute = attributeOf(qv::maya::detail::held(*this));
  const bool ok = attribute && attribute->lightData && index < attribute->children.size();
  report(returnStatus, ok ? MS::kSuccess : MS::kInvalidParameter);
  return ok ? objectOf(attribute->children[index].get()) : MObject();
}
