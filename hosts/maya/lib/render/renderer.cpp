// The renderer, the draw registry, the shared textures and sampler states,
// and shader instances of the Viewport 2.0 stand-in.
#include "render_state.h"

#include "graph.h"
#include "numeric_value.h"

#include <maya/MDrawRegistry.h>
#include <maya/MFloatVector.h>
#include <maya/MImage.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MPxSurfaceShadingNodeOverride.h>
#include <maya/MShaderManager.h>
#include <maya/MStateManager.h>
#include <maya/MTextureManager.h>
#include <maya/MViewport2Renderer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <utility>

namespace MHWRender {

MRenderer::MRenderer() = default;
MRenderer::~MRenderer() = default;
MFragmentManager::MFragmentManager() = default;
MFragmentManager::~MFragmentManager() = default;
MTextureManager::MTextureManager() = default;
MTextureManager::~MTextureManager() = default;
MTexture::MTexture() = default;
MTexture::~MTexture() = default;
MSamplerState::MSamplerState() = default;
MSamplerState::~MSamplerState() = default;
MShaderInstance::MShaderInstance() = default;

}  // namespace MHWRender

namespace qv::maya::detail {

using MHWRender::MFragmentManager;
using MHWRender::MRenderer;
using MHWRender::MSamplerState;
using MHWRender::MShaderInstance;
using MHWRender::MTexture;
using MHWRender::MTextureManager;

MRenderer* RendererAccess::renderer() {
  static MRenderer instance;
  return &instance;
}
MFragmentManager* RendererAccess::fragmentManager() {
  static MFragmentManager instance;
  return &instance;
}
MTextureManager* RendererAccess::textureManager() {
  static MTextureManager instance;
  return &instance;
}
MTexture* RendererAccess::newTexture() {
  return new MTexture();
}
void RendererAccess::deleteTexture(MTexture* texture) {
  delete texture;
}
MSamplerState* RendererAccess::newSamplerState() {
  return new MSamplerState();
}
void RendererAccess::deleteSamplerState(const MSamplerState* state) {
  delete state;
}
MShaderInstance* RendererAccess::newShader() {
  return new MShaderInstance();
}
void RendererAccess::deleteShader(MShaderInstance* shader) {
  delete shader;
}

}  // namespace qv::maya::detail

namespace qv::maya::detail {

using qv::maya::detail::RendererAccess;

const FragmentParameter* Fragment::property(const std::string& wanted) const {
  for (const FragmentParameter& parameter : properties) {
    if (parameter.name == wanted) return &parameter;
  }
  return nullptr;
}

const FragmentParameter* Fragment::output(const std::string& wanted) const {
  for (const FragmentParameter& parameter : outputs) {
    if (parameter.name == wanted) return &parameter;
  }
  return nullptr;
}

RenderState& renderState() {
  static RenderState instance;
  return instance;
}

RenderState::~RenderState() {
  reset();
}

void RenderState::reset() {
  while (!shaders_.empty())
    destroyShader(const_cast<MHWRender::MShaderInstance*>(shaders_.begin()->first));
  for (auto& [handle, entry] : textures_) RendererAccess::deleteTexture(handle);
  textures_.clear();
  for (auto& [handle, entry] : samplers_) RendererAccess::deleteSamplerState(handle);
  samplers_.clear();
  fragments.clear();
  fragmentPaths.clear();
  registrations.clear();
  rendererAvailable = true;
}

const Fragment* RenderState::fragment(const std::string& name) const {
  auto found = fragments.find(name);
  return found == fragments.end() ? nullptr : &found->second;
}

void RenderState::removeRegistration(size_t index) {
  const DrawRegistration going = registrations[index];
  for (DrawRegistryObserver* observer : std::vector<DrawRegistryObserver*>(observers)) {
    observer->registrationGoing(going);
  }
  auto same = [&](const DrawRegistration& r) {
    return r.classification == going.classification && r.registrant == going.registrant;
  };
  registrations.erase(std::remove_if(registrations.begin(), registrations.end(), same),
                      registrations.end());
}

void RenderState::pluginGoing(const Plugin* plugin, bool forget) {
  for (size_t i = 0; i < registrations.size();) {
    if (registrations[i].plugin != plugin) {
      ++i;
    } else if (forget) {
      removeRegistration(i);
    } else {
      const DrawRegistration going = registrations[i++];
      for (DrawRegistryObserver* observer : std::vector<DrawRegistryObserver*>(observers)) {
        observer->registrationGoing(going);
      }
    }
  }
}

namespace {

// Textures are shared by file, however the path was spelt.
std::string textureKey(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

MHWRender::MTexture* RenderState::acquireTexture(const std::string& path, int mipmapLevels) {
  const std::string key = textureKey(path);
  for (auto& [handle, entry] : textures_) {
    if (!entry.inMemory && entry.key == key) {
      ++entry.references;
      return handle;
    }
  }
  MImage image;
  unsigned int width = 0;
  unsigned int height = 0;
  if (path.empty() || image.readFromFile(path.c_str()).error() ||
      image.getSize(width, height).error()) {
    return nullptr;
  }
  TextureEntry entry;
  entry.path = path.c_str();
  entry.key = key;
  entry.description.setToDefault2DTexture();
  entry.description.fWidth = width;
  entry.description.fHeight = height;
  unsigned int chain = 1;
  for (unsigned int size = std::max(width, height); size > 1; size /= 2) ++chain;
  entry.description.fMipmaps =
      mipmapLevels <= 0 ? chain : std::min(chain, static_cast<unsigned int>(mipmapLevels));
  entry.pixels.assign(image.pixels(), image.pixels() + size_t{width} * height * 4);
  entry.references = 1;
  MHWRender::MTexture* handle = RendererAccess::newTexture();
  textures_.emplace(handle, std::move(entry));
  return handle;
}

MHWRender::MTexture* RenderState::acquireTexture(const std::string& name,
                                                 const MHWRender::MTextureDescription& description,
                                                 const void* pixels, bool generateMipMaps) {
  using namespace MHWRender;
  const bool volume = description.fTextureType == kVolumeTexture;
  const unsigned int depth = volume ? description.fDepth : 1;
  if (name.empty() || !pixels || description.fWidth == 0 || description.fHeight == 0 ||
      depth == 0 || (!volume && description.fTextureType != kImage2D) ||
      description.fArraySlices > 1 ||
      (description.fFormat != kR8G8B8A8_UNORM && description.fFormat != kR32_FLOAT)) {
    return nullptr;
  }
  // Textures are shared by name, as those from files are by their file.
  if (MTexture* existing = findTexture(name)) return existing;
  const size_t packedRow = size_t{description.fWidth} * 4;
  const size_t rowPitch = description.fBytesPerRow ? description.fBytesPerRow : packedRow;
  const size_t slicePitch =
      description.fBytesPerSlice ? description.fBytesPerSlice : rowPitch * description.fHeight;
  if (rowPitch < packedRow || slicePitch < rowPitch * description.fHeight) return nullptr;
  TextureEntry entry;
  entry.path = name.c_str();
  entry.key = name;
  entry.inMemory = true;
  entry.description = description;
  entry.description.fDepth = depth;
  entry.description.fBytesPerRow = static_cast<unsigned int>(packedRow);
  entry.description.fBytesPerSlice = static_cast<unsigned int>(packedRow * description.fHeight);
  unsigned int chain = 1;
  for (unsigned int size = std::max({description.fWidth, description.fHeight, depth}); size > 1;
       size /= 2) {
    ++chain;
  }
  entry.description.fMipmaps =
      generateMipMaps || description.fMipmaps == 0 ? chain : std::min(chain, description.fMipmaps);
  const auto* bytes = static_cast<const unsigned char*>(pixels);
  for (unsigned int slice = 0; slice < depth; ++slice) {
    for (unsigned int row = 0; row < description.fHeight; ++row) {
      const unsigned char* from = bytes + slice * slicePitch + row * rowPitch;
      entry.pixels.insert(entry.pixels.end(), from, from + packedRow);
    }
  }
  entry.references = 1;
  MTexture* handle = RendererAccess::newTexture();
  textures_.emplace(handle, std::move(entry));
  return handle;
}

MHWRender::MTexture* RenderState::findTexture(const std::string& name) {
  for (auto& [handle, entry] : textures_) {
    if (entry.inMemory && entry.key == name) {
      ++entry.references;
      return handle;
    }
  }
  const std::string key = textureKey(name);
  for (auto& [handle, entry] : textures_) {
    if (!entry.inMemory && entry.key == key) {
      ++entry.references;
      return handle;
    }
  }
  return nullptr;
}

bool RenderState::retainTexture(MHWRender::MTexture* texture) {
  auto found = textures_.find(texture);
  if (found == textures_.end()) return false;
  ++found->second.references;
  return true;
}

void RenderState::releaseTexture(MHWRender::MTexture* texture) {
  auto found = textures_.find(texture);
  if (found == textures_.end() || --found->second.references > 0) return;
  textures_.erase(found);
  RendererAccess::deleteTexture(texture);
}

int RenderState::textureReferences(const std::string& path) const {
  const std::string key = textureKey(path);
  for (const auto& [handle, entry] : textures_) {
    if (entry.key == (entry.inMemory ? path : key)) return entry.references;
  }
  return 0;
}

const TextureEntry* RenderState::texture(const MHWRender::MTexture* texture) const {
  auto found = textures_.find(const_cast<MHWRender::MTexture*>(texture));
  return found == textures_.end() ? nullptr : &found->second;
}

const TextureEntry* RenderState::memoryTexture(const std::string& name) const {
  for (const auto& [handle, entry] : textures_) {
    if (entry.inMemory && entry.key == name) return &entry;
  }
  return nullptr;
}

bool sameSampler(const MHWRender::MSamplerStateDesc& a, const MHWRender::MSamplerStateDesc& b) {
  for (int i = 0; i < 4; ++i) {
    if (a.borderColor[i] != b.borderColor[i]) return false;
  }
  return a.filter == b.filter && a.comparisonFn == b.comparisonFn && a.addressU == b.addressU &&
         a.addressV == b.addressV && a.addressW == b.addressW && a.mipLODBias == b.mipLODBias &&
         a.minLOD == b.minLOD && a.maxLOD == b.maxLOD && a.maxAnisotropy == b.maxAnisotropy &&
         a.coordCount == b.coordCount && a.elementIndex == b.elementIndex;
}

const MHWRender::MSamplerState* RenderState::acquireSamplerState(
    const MHWRender::MSamplerStateDesc& desc) {
  for (auto& [handle, entry] : samplers_) {
    if (sameSampler(entry.desc, desc)) {
      ++entry.references;
      return handle;
    }
  }
  const MHWRender::MSamplerState* handle = RendererAccess::newSamplerState();
  samplers_.emplace(handle, SamplerEntry{desc, 1});
  return handle;
}

void RenderState::releaseSamplerState(const MHWRender::MSamplerState* state) {
  auto found = samplers_.find(state);
  if (found == samplers_.end() || --found->second.references > 0) return;
  samplers_.erase(found);
  RendererAccess::deleteSamplerState(state);
}

const MHWRender::MSamplerStateDesc* RenderState::samplerDesc(
    const MHWRender::MSamplerState* state) const {
  auto found = samplers_.find(state);
  return found == samplers_.end() ? nullptr : &found->second.desc;
}

MHWRender::MShaderInstance* RenderState::createShader(std::map<std::string, std::string> types) {
  MHWRender::MShaderInstance* shader = RendererAccess::newShader();
  shaders_[shader].types = std::move(types);
  return shader;
}

void RenderState::destroyShader(MHWRender::MShaderInstance* shader) {
  auto found = shaders_.find(shader);
  if (found == shaders_.end()) return;
  const ShaderState state = std::move(found->second);
  shaders_.erase(found);
  for (const auto& [name, texture] : state.textures) releaseTexture(texture);
  RendererAccess::deleteShader(shader);
}

ShaderState* RenderState::shader(const MHWRender::MShaderInstance* shader) {
  auto found = shaders_.find(shader);
  return found == shaders_.end() ? nullptr : &found->second;
}

}  // namespace qv::maya::detail

using qv::maya::detail::graph;
using qv::maya::detail::renderState;

namespace MHWRender {

// MRenderer

MRenderer* MRenderer::theRenderer(bool) {
  return renderState().rendererAvailable ? qv::maya::detail::RendererAccess::renderer() : nullptr;
}

MFragmentManager* MRenderer::getFragmentManager() const {
  return qv::maya::detail::RendererAccess::fragmentManager();
}

MTextureManager* MRenderer::getTextureManager() const {
  return qv::maya::detail::RendererAccess::textureManager();
}

DrawAPI MRenderer::drawAPI() const {
  return kOpenGL;
}

// MDrawRegistry

namespace {

MStatus registerCreator(const char* function, const MString& drawClassification,
                        const MString& registrantId,
                        std::function<MPxShadingNodeOverride*(const MObject&)> creator) {
  MStatus status;
  if (graph().injected(function, &status)) return status;
  if (drawClassification.length() == 0 || !creator) return MS::kInvalidParameter;
  auto& registrations = renderState().registrations;
  for (const auto& registration : registrations) {
    if (registration.classification == drawClassification.asChar() &&
        registration.registrant == registrantId.asChar()) {
      return MS::kFailure;
    }
  }
  registrations.push_back(
      {drawClassification.asChar(), registrantId.asChar(), std::move(creator), graph().loading});
  return MS::kSuccess;
}

MStatus deregisterCreator(const char* function, const MString& drawClassification,
                          const MString& registrantId) {
  MStatus status;
  if (graph().injected(function, &status)) return status;
  auto& registrations = renderState().registrations;
  for (size_t i = 0; i < registrations.size(); ++i) {
    if (registrations[i].classification == drawClassification.asChar() &&
        registrations[i].registrant == registrantId.asChar()) {
      renderState().removeRegistration(i);
      return MS::kSuccess;
    }
  }
  return MS::kFailure;
}

}  // namespace

MStatus MDrawRegistry::registerShadingNodeOverrideCreator(
    const MString& drawClassification, const MString& registrantId,
    ShadingNodeOverrideCreator creatorFunction) {
  std::function<MPxShadingNodeOverride*(const MObject&)> creator;
  if (creatorFunction) creator = creatorFunction;
  return registerCreator("MDrawRegistry::registerShadingNodeOverrideCreator", drawClassification,
                         registrantId, std::move(creator));
}

MStatus MDrawRegistry::deregisterShadingNodeOverrideCreator(const MString& drawClassification,
                                                            const MString& registrantId) {
  return deregisterCreator("MDrawRegistry::deregisterShadingNodeOverrideCreator",
                           drawClassification, registrantId);
}

MStatus MDrawRegistry::registerSurfaceShadingNodeOverrideCreator(
    const MString& drawClassification, const MString& registrantId,
    SurfaceShadingNodeOverrideCreator creatorFunction) {
  std::function<MPxShadingNodeOverride*(const MObject&)> creator;
  if (creatorFunction) {
    creator = [creatorFunction](const MObject& object) -> MPxShadingNodeOverride* {
      return creatorFunction(object);
    };
  }
  return registerCreator("MDrawRegistry::registerSurfaceShadingNodeOverrideCreator",
                         drawClassification, registrantId, std::move(creator));
}

MStatus MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator(
    const MString& drawClassification, const MString& registrantId) {
  return deregisterCreator("MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator",
                           drawClassification, registrantId);
}

// MTexture, MTextureManager

const MString& MTexture::name() const {
  static const MString none;
  const auto* entry = renderState().texture(this);
  return entry ? entry->path : none;
}

void MTexture::textureDescription(MTextureDescription& desc) const {
  const auto* entry = renderState().texture(this);
  if (entry) {
    desc = entry->description;
  } else {
    desc.setToDefault2DTexture();
  }
}

void* MTexture::rawData(int& rowPitch, int& slicePitch) const {
  const auto* entry = renderState().texture(this);
  if (!entry || entry->pixels.empty()) {
    rowPitch = slicePitch = 0;
    return nullptr;
  }
  rowPitch = static_cast<int>(entry->description.fWidth * 4);
  slicePitch = entry->description.fTextureType == kVolumeTexture
                   ? static_cast<int>(entry->description.fBytesPerSlice)
                   : static_cast<int>(entry->pixels.size());
  void* data = std::malloc(entry->pixels.size());
  if (data) std::memcpy(data, entry->pixels.data(), entry->pixels.size());
  return data;
}

void MTexture::freeRawData(void* data) {
  std::free(data);
}

MTexture* MTextureManager::acquireTexture(const MString& filePath, int mipmapLevels, bool,
                                          const MString&, int) {
  return renderState().acquireTexture(filePath.asChar(), mipmapLevels);
}

MTexture* MTextureManager::acquireTexture(const MString& filePath, const MString&, int mipmapLevels,
                                          bool useExposureControl, const MString& layerName,
                                          int alphaChannelIdx) {
  return acquireTexture(filePath, mipmapLevels, useExposureControl, layerName, alphaChannelIdx);
}

MTexture* MTextureManager::acquireTexture(const MString& textureName,
                                          const MTextureDescription& textureDesc,
                                          const void* pixelData, bool generateMipMaps) {
  return renderState().acquireTexture(textureName.asChar(), textureDesc, pixelData,
                                      generateMipMaps);
}

MTexture* MTextureManager::findTexture(const MString& textureName) {
  return renderState().findTexture(textureName.asChar());
}

void MTextureManager::releaseTexture(MTexture* texture) const {
  renderState().releaseTexture(texture);
}

// MSamplerState, MSamplerStateDesc, MStateManager

const MSamplerStateDesc& MSamplerState::desc(MStatus* ReturnStatus) const {
  static const MSamplerStateDesc defaults;
  const MSamplerStateDesc* found = renderState().samplerDesc(this);
  if (ReturnStatus) *ReturnStatus = found ? MS::kSuccess : MS::kFailure;
  return found ? *found : defaults;
}

MSamplerStateDesc::MSamplerStateDesc() {
  setDefaults();
}
MSamplerStateDesc::~MSamplerStateDesc() = default;
MSamplerStateDesc::MSamplerStateDesc(const MSamplerStateDesc& rDesc) = default;
MSamplerStateDesc& MSamplerStateDesc::operator=(const MSamplerStateDesc& rDesc) = default;

// Every mip level, no bias: what a plain texture lookup wants.
void MSamplerStateDesc::setDefaults() {
  filter = MSamplerState::kMinMagMipLinear;
  comparisonFn = MStateManager::kCompareNever;
  addressU = addressV = addressW = MSamplerState::kTexWrap;
  for (float& channel : borderColor) channel = 0.0f;
  mipLODBias = 0.0f;
  minLOD = 0;
  maxLOD = std::numeric_limits<unsigned int>::max();
  maxAnisotropy = 1;
  coordCount = 0;
  elementIndex = 0;
}

const MSamplerState* MStateManager::acquireSamplerState(const MSamplerStateDesc& samplerStateDesc,
                                                        MStatus* ReturnStatus) {
  const MSamplerState* state = renderState().acquireSamplerState(samplerStateDesc);
  if (ReturnStatus) *ReturnStatus = state ? MS::kSuccess : MS::kFailure;
  return state;
}

void MStateManager::releaseSamplerState(const MSamplerState* state) {
  if (state) renderState().releaseSamplerState(state);
}

// MShaderInstance

MShaderInstance::~MShaderInstance() = default;

namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// The parameter's type when the shader has it, else null.
const std::string* typeOf(const MShaderInstance* shader, const MString& name) {
  auto* state = renderState().shader(shader);
  if (!state) return nullptr;
  auto found = state->types.find(name.asChar());
  return found == state->types.end() ? nullptr : &found->second;
}

// bool, int and float parameters take any of the three, converted as the
// shader would.
MStatus setScalar(MShaderInstance* shader, const MString& name, double value) {
  const std::string* type = typeOf(shader, name);
  if (!type) return MS::kInvalidParameter;
  std::string text;
  if (*type == "bool") {
    text = value != 0.0 ? "1" : "0";
  } else if (*type == "int") {
    if (!(std::fabs(value) < 2147483648.0)) return MS::kInvalidParameter;
    text = std::to_string(static_cast<int>(value));
  } else if (*type == "float") {
    text = number(qv::maya::detail::toFloat(value));
  } else {
    return MS::kInvalidParameter;
  }
  renderState().shader(shader)->values[name.asChar()] = text;
  return MS::kSuccess;
}

}  // namespace

MStatus MShaderInstance::setParameter(const MString& parameterName, bool value) {
  return setScalar(this, parameterName, value ? 1.0 : 0.0);
}

MStatus MShaderInstance::setParameter(const MString& parameterName, int value) {
  return setScalar(this, parameterName, value);
}

MStatus MShaderInstance::setParameter(const MString& parameterName, float value) {
  return setScalar(this, parameterName, value);
}

MStatus MShaderInstance::setParameter(const MString& parameterName, const float* value) {
  const std::string* type = typeOf(this, parameterName);
  if (!type || !value) return MS::kInvalidParameter;
  const int count = *type == "float"    ? 1
                    : *type == "float2" ? 2
                    : *type == "float3" ? 3
                    : *type == "float4" ? 4
                                        : 0;
  if (count == 0) return MS::kInvalidParameter;
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + number(value[i]);
  renderState().shader(this)->values[parameterName.asChar()] = text;
  return MS::kSuccess;
}

MStatus MShaderInstance::setParameter(const MString& parameterName, const MFloatVector& value) {
  const float values[] = {value.x, value.y, value.z};
  return setParameter(parameterName, values);
}

MStatus MShaderInstance::setParameter(const MString& parameterName, const MMatrix& value) {
  const std::string* type = typeOf(this, parameterName);
  if (!type || *type != "float4x4") return MS::kInvalidParameter;
  std::string text;
  for (int i = 0; i < 16; ++i) text += (i ? " " : "") + number(value(i / 4, i % 4));
  renderState().shader(this)->values[parameterName.asChar()] = text;
  return MS::kSuccess;
}

MStatus MShaderInstance::setParameter(const MString& parameterName,
                                      MTextureAssignment& textureAssignment) {
  const std::string* type = typeOf(this, parameterName);
  if (!type || type->rfind("texture", 0) != 0) return MS::kInvalidParameter;
  auto& state = renderState();
  MTexture* texture = textureAssignment.texture;
  if (texture && !state.retainTexture(texture)) return MS::kInvalidParameter;
  auto& textures = state.shader(this)->textures;
  auto held = textures.find(parameterName.asChar());
  if (held != textures.end()) {
    MTexture* previous = held->second;
    textures.erase(held);
    state.releaseTexture(previous);
  }
  if (texture) textures[parameterName.asChar()] = texture;
  return MS::kSuccess;
}

MStatus MShaderInstance::setParameter(const MString& parameterName, const MSamplerState& sampler) {
  const std::string* type = typeOf(this, parameterName);
  const MSamplerStateDesc* desc = renderState().samplerDesc(&sampler);
  if (!type || *type != "sampler" || !desc) return MS::kInvalidParameter;
  renderState().shader(this)->samplers[parameterName.asChar()] = *desc;
  return MS::kSuccess;
}

// MPxShadingNodeOverride and the parameter mappings

MPxShadingNodeOverride::MPxShadingNodeOverride(const MObject&) {}
MPxShadingNodeOverride::~MPxShadingNodeOverride() = default;

DrawAPI MPxShadingNodeOverride::supportedDrawAPIs() const {
  return kOpenGL;
}
bool MPxShadingNodeOverride::allowConnections() const {
  return true;
}
void MPxShadingNodeOverride::getCustomMappings(MAttributeParameterMappingList&) {}
MString MPxShadingNodeOverride::outputForConnection(const MPlug&, const MPlug&) {
  return "";
}
bool MPxShadingNodeOverride::valueChangeRequiresFragmentRebuild(const MPlug*) const {
  return false;
}
void MPxShadingNodeOverride::updateDG() {}
void MPxShadingNodeOverride::updateShader(MShaderInstance&, const MAttributeParameterMappingList&) {
}

MAttributeParameterMapping::MAttributeParameterMapping(const MString& paramName,
                                                       const MString& attrName,
                                                       bool allowConnection, bool allowRename)
    : parameterName_(paramName),
      attributeName_(attrName),
      allowConnection_(allowConnection),
      allowRename_(allowRename) {}

MAttributeParameterMapping::~MAttributeParameterMapping() = default;
MAttributeParameterMapping::MAttributeParameterMapping(const MAttributeParameterMapping& other) =
    default;
MAttributeParameterMapping& MAttributeParameterMapping::operator=(
    const MAttributeParameterMapping& other) = default;

MAttributeParameterMappingList::MAttributeParameterMappingList() = default;
MAttributeParameterMappingList::~MAttributeParameterMappingList() = default;

unsigned int MAttributeParameterMappingList::length() const {
  return static_cast<unsigned int>(mappings_.size());
}

void MAttributeParameterMappingList::append(const MAttributeParameterMapping& mapping) {
  mappings_.push_back(
      std::unique_ptr<MAttributeParameterMapping>(new MAttributeParameterMapping(mapping)));
}

const MAttributeParameterMapping* MAttributeParameterMappingList::getMapping(
    unsigned int index) const {
  return index < mappings_.size() ? mappings_[index].get() : nullptr;
}

const MAttributeParameterMapping* MAttributeParameterMappingList::findByAttributeName(
    const MString& attributeName) const {
  for (const auto& mapping : mappings_) {
    if (mapping->attributeName() == attributeName) return mapping.get();
  }
  return nullptr;
}

const MAttributeParameterMapping* MAttributeParameterMappingList::findByParameterName(
    const MString& parameterName) const {
  for (const auto& mapping : mappings_) {
    if (mapping->parameterName() == parameterName) return mapping.get();
  }
  return nullptr;
}

void MAttributeParameterMappingList::clear() {
  mappings_.clear();
}

}  // namespace MHWRender
