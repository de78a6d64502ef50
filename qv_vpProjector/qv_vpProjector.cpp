#include "qv_vpProjector.h"

#include "qv_attribute_flags.h"
#include "qv_status_check.h"

#include <maya/MAngle.h>
#include <maya/MArrayDataHandle.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFn.h>
#include <maya/MFnCamera.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMatrixAttribute.h>
#include <maya/MFnMesh.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MPoint.h>
#include <maya/MPointArray.h>
#include <maya/MRenderUtil.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

const MTypeId qv_vpProjector::id(0x03131992);
const MString qv_vpProjector::typeName("qv_vpProjector");
const MString qv_vpProjector::classification("texture/2d:drawdb/shader/texture/2d/qv_vpProjector");

MObject qv_vpProjector::fileName;
MObject qv_vpProjector::uvCoord;
MObject qv_vpProjector::uCoord;
MObject qv_vpProjector::vCoord;
MObject qv_vpProjector::resRatio;
MObject qv_vpProjector::fitType;
MObject qv_vpProjector::mapType;
MObject qv_vpProjector::r;
MObject qv_vpProjector::g;
MObject qv_vpProjector::b;
MObject qv_vpProjector::a;
MObject qv_vpProjector::passThrough;
MObject qv_vpProjector::invert;
MObject qv_vpProjector::solidAlpha;
MObject qv_vpProjector::premultiply;
MObject qv_vpProjector::texWidth;
MObject qv_vpProjector::texHeight;
MObject qv_vpProjector::colorOffset;
MObject qv_vpProjector::focalLength;
MObject qv_vpProjector::angleOfView;
MObject qv_vpProjector::hAperture;
MObject qv_vpProjector::vAperture;
MObject qv_vpProjector::flipU;
MObject qv_vpProjector::flipV;
MObject qv_vpProjector::placementMatrix;
MObject qv_vpProjector::outColor;
MObject qv_vpProjector::outTransparency;
MObject qv_vpProjector::outAlpha;
MObject qv_vpProjector::useFacingRatio;
MObject qv_vpProjector::angleThreshold;
MObject qv_vpProjector::distanceThreshold;
MObject qv_vpProjector::useShadowOcclusion;
MObject qv_vpProjector::dilate;
MObject qv_vpProjector::softEdge;
MObject qv_vpProjector::power;
MObject qv_vpProjector::occluders;
MObject qv_vpProjector::occlusionBias;
MObject qv_vpProjector::occlusionResolution;
MObject qv_vpProjector::occlusionMapId;

namespace {

MObject createNumericInput(const char* longName, const char* shortName, MFnNumericData::Type kind,
                           double defaultValue) {
  MStatus status;
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.create(longName, shortName, kind, defaultValue, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_INPUT(numeric);
  return attribute;
}

MObject createHiddenInput(const char* longName, const char* shortName, MFnNumericData::Type kind) {
  const MObject attribute = createNumericInput(longName, shortName, kind, 0.0);
  MFnNumericAttribute numeric(attribute);
  QV_CHECK_MSTATUS(numeric.setHidden(true));
  return attribute;
}

MObject createColorOutput(const char* longName, const char* shortName) {
  MStatus status;
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.createColor(longName, shortName, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);
  return attribute;
}

// The viewport shader draws every film fit as a fill fit; the code only
// tells it which aperture the camera fits.
int fitCode(MFnCamera::FilmFit fit) {
  switch (fit) {
    case MFnCamera::kHorizontalFilmFit:
      return 2;
    case MFnCamera::kVerticalFilmFit:
    case MFnCamera::kOverscanFilmFit:
      return 1;
    default:
      return 0;
  }
}

// Into [0, 1]; NaN goes to 0, since converting it to a row index is undefined.
float unitClamp(float value) {
  return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
}

// Nearest texel index for a coordinate in [0, 1], in single precision as
// the viewport's own lookup rounds; kept inside the image even where the
// float product of a huge size rounds up.
uint64_t texelIndex(uint64_t size, float coordinate) {
  const auto index = static_cast<uint64_t>(static_cast<float>(size - 1) * coordinate);
  return index < size ? index : size - 1;
}

// What the camera connected into placementMatrix gives the projection.
struct ProjectionCamera {
  float horizontalFov = 1.0f;  // radians
  float verticalFov = 1.0f;
  int fit = 0;
  bool connected = false;  // a transform or shape feeds placementMatrix
};

// The first transform or shape among placementMatrix's sources decides: a
// camera shape gives its fields of view and film fit, a transform its first
// child's film fit. A shape that is no camera is the failing status.
MStatus findProjectionCamera(const MObject& node, ProjectionCamera* camera) {
  MStatus status;
  MPlugArray sources;
  MPlug(node, qv_vpProjector::placementMatrix).connectedTo(sources, true, false, &status);
  QV_CHECK_MSTATUS(status);
  for (unsigned int i = 0; i < sources.length(); ++i) {
    const MObject source = sources[i].node();
    if (source.hasFn(MFn::kTransform)) {
      MFnDagNode transform(source);
      MFnCamera shape(transform.child(0), &status);
      QV_CHECK_MSTATUS(status);
      camera->fit = fitCode(shape.filmFit());
      camera->connected = true;
      return MS::kSuccess;
    }
    if (source.hasFn(MFn::kShape)) {
      MFnCamera shape(source, &status);
      QV_CHECK_MSTATUS(status);
      if (status) shape.aspectRatio(&status);
      if (!status) {
        QV_CHECK_MSTATUS(status);
        return status;
      }
      camera->horizontalFov = static_cast<float>(shape.horizontalFieldOfView());
      camera->verticalFov = static_cast<float>(shape.verticalFieldOfView());
      camera->fit = fitCode(shape.filmFit());
      camera->connected = true;
      return MS::kSuccess;
    }
  }
  return MS::kSuccess;
}

MObject createFloatInput(const char* longName, const char* shortName, double defaultValue) {
  return createNumericInput(longName, shortName, MFnNumericData::kFloat, defaultValue);
}

MObject createSwitch(const char* longName, const char* shortName) {
  return createNumericInput(longName, shortName, MFnNumericData::kBoolean, 0.0);
}

// Numbers the depth maps of every projector in the session, so that a new
// map never has the number of one an override still holds.
std::atomic<int> lastMapId{0};

}  // namespace

void* qv_vpProjector::creator() {
  return new qv_vpProjector;
}

MStatus qv_vpProjector::initialize() {
  MStatus status;
  MFnNumericAttribute numeric;

  MFnStringData stringData;
  const MObject emptyName = stringData.create(MString(""), &status);
  QV_CHECK_MSTATUS(status);
  MFnTypedAttribute typed;
  fileName = typed.create("fileName", "f", MFnData::kString, emptyName, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_INPUT(typed);
  QV_CHECK_MSTATUS(typed.setUsedAsFilename(true));

  uCoord = numeric.create("uCoord", "u", MFnNumericData::kFloat, 0.0, &status);
  QV_CHECK_MSTATUS(status);
  vCoord = numeric.create("vCoord", "v", MFnNumericData::kFloat, 0.0, &status);
  QV_CHECK_MSTATUS(status);
  uvCoord = numeric.create("uvCoord", "uv", uCoord, vCoord, MObject::kNullObj, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_INPUT(numeric);
  QV_CHECK_MSTATUS(numeric.setHidden(true));

  resRatio = createHiddenInput("resRatio", "rr", MFnNumericData::kFloat);
  fitType = createHiddenInput("fitType", "ft", MFnNumericData::kInt);
  mapType = createNumericInput("mapType", "mt", MFnNumericData::kInt, 0.0);
  r = createNumericInput("r", "r", MFnNumericData::kBoolean, 1.0);
  g = createNumericInput("g", "g", MFnNumericData::kBoolean, 1.0);
  b = createNumericInput("b", "b", MFnNumericData::kBoolean, 1.0);
  a = createNumericInput("a", "a", MFnNumericData::kBoolean, 1.0);
  passThrough = createNumericInput("passThrough", "pt", MFnNumericData::kBoolean, 0.0);
  numeric.setObject(passThrough);
  QV_CHECK_MSTATUS(numeric.setDefault(false));
  invert = createNumericInput("invert", "in", MFnNumericData::kBoolean, 0.0);
  solidAlpha = createNumericInput("solidAlpha", "sa", MFnNumericData::kBoolean, 0.0);
  premultiply = createNumericInput("premultiply", "pr", MFnNumericData::kBoolean, 0.0);
  texWidth = createNumericInput("texWidth", "tw", MFnNumericData::kInt, 0.0);
  texHeight = createNumericInput("texHeight", "th", MFnNumericData::kInt, 0.0);

  colorOffset = numeric.createColor("colorOffset", "co", &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_INPUT(numeric);
  QV_CHECK_MSTATUS(numeric.setDefault(0.0f, 0.0f, 0.0f));
  QV_CHECK_MSTATUS(numeric.setUsedAsColor(true));

  // The apertures come first here; the order they are added in is what Maya
  // keeps.
  hAperture = createNumericInput("hAperture", "ha", MFnNumericData::kFloat, 0.0);
  vAperture = createNumericInput("vAperture", "va", MFnNumericData::kFloat, 0.0);
  focalLength = createNumericInput("focalLength", "fl", MFnNumericData::kFloat, 0.0);
  angleOfView = createNumericInput("angleOfView", "av", MFnNumericData::kFloat, 0.0);
  flipU = createNumericInput("flipU", "fu", MFnNumericData::kBoolean, 0.0);
  flipV = createNumericInput("flipV", "fv", MFnNumericData::kBoolean, 0.0);

  MFnMatrixAttribute matrix;
  placementMatrix = matrix.create("placementMatrix", "pm", MFnMatrixAttribute::kDouble, &status);
  QV_CHECK_MSTATUS(status);
  matrix.setKeyable(true);
  matrix.setStorable(true);
  matrix.setReadable(true);
  matrix.setWritable(true);

  outColor = createColorOutput("outColor", "oc");
  outTransparency = createColorOutput("outTransparency", "ot");
  outAlpha = numeric.create("outAlpha", "oa", MFnNumericData::kFloat, 0.0, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);

  const MObject* inputs[] = {
      &fileName,    &uvCoord,   &resRatio,  &fitType,     &mapType,        &r,
      &g,           &b,         &a,         &passThrough, &invert,         &solidAlpha,
      &premultiply, &texWidth,  &texHeight, &colorOffset, &focalLength,    &angleOfView,
      &hAperture,   &vAperture, &flipU,     &flipV,       &placementMatrix};
  for (const MObject* input : inputs) QV_CHECK_MSTATUS(addAttribute(*input));
  for (const MObject* output : {&outColor, &outTransparency, &outAlpha}) {
    QV_CHECK_MSTATUS(addAttribute(*output));
  }
  for (const MObject* input : inputs) {
    for (const MObject* output : {&outColor, &outTransparency, &outAlpha}) {
      QV_CHECK_MSTATUS(attributeAffects(*input, *output));
    }
  }

  // The visibility tests. The shader reads them by name; with every test
  // off (the defaults) it shows what it always has.
  useFacingRatio = createSwitch("useFacingRatio", "ufr");
  angleThreshold = createFloatInput("angleThreshold", "ang", 90.0);
  distanceThreshold = createFloatInput("distanceThreshold", "dist", -1.0);
  useShadowOcclusion = createSwitch("useShadowOcclusion", "occl");
  dilate = createFloatInput("dilate", "dlt", 0.0);
  softEdge = createFloatInput("softEdge", "se", 0.5);
  power = createFloatInput("power", "pwr", 2.0);

  occluders = typed.create("occluders", "ocl", MFnData::kMesh, MObject::kNullObj, &status);
  QV_CHECK_MSTATUS(status);
  QV_CHECK_MSTATUS(typed.setArray(true));
  QV_CHECK_MSTATUS(typed.setReadable(false));
  // The meshes come through connections; their data is theirs to save.
  QV_CHECK_MSTATUS(typed.setStorable(false));
  QV_CHECK_MSTATUS(typed.setIndexMatters(false));
  QV_CHECK_MSTATUS(typed.setDisconnectBehavior(MFnAttribute::kDelete));
  // As a fraction of the point's depth, so that one value serves a set
  // modelled in centimetres and the same set in metres.
  occlusionBias = createFloatInput("occlusionBias", "obi", 0.01);
  numeric.setObject(occlusionBias);
  QV_CHECK_MSTATUS(numeric.setMin(0.0));
  QV_CHECK_MSTATUS(numeric.setSoftMax(0.1));
  occlusionResolution =
      createNumericInput("occlusionResolution", "ores", MFnNumericData::kInt, 1024.0);
  numeric.setObject(occlusionResolution);
  QV_CHECK_MSTATUS(numeric.setSoftMin(256.0));
  QV_CHECK_MSTATUS(numeric.setSoftMax(4096.0));
  occlusionMapId = numeric.create("occlusionMapId", "omi", MFnNumericData::kInt, 0.0, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);
  QV_CHECK_MSTATUS(numeric.setHidden(true));

  const MObject* visibility[] = {&useFacingRatio,
                                 &angleThreshold,
                                 &distanceThreshold,
                                 &useShadowOcclusion,
                                 &dilate,
                                 &softEdge,
                                 &power,
                                 &occluders,
                                 &occlusionBias,
                                 &occlusionResolution,
                                 &occlusionMapId};
  for (const MObject* attribute : visibility) QV_CHECK_MSTATUS(addAttribute(*attribute));
  // A new map only where what it shows changed: the meshes, the camera, or
  // whether and how finely it is wanted.
  for (const MObject* input :
       {&mapType, &placementMatrix, &useShadowOcclusion, &occluders, &occlusionResolution}) {
    QV_CHECK_MSTATUS(attributeAffects(*input, occlusionMapId));
  }
  return MS::kSuccess;
}

std::shared_ptr<const qv::vpProjector::DepthMap> qv_vpProjector::depthMap() const {
  std::lock_guard<std::mutex> lock(mapMutex_);
  return depthMap_;
}

void qv_vpProjector::warn(const MString& what) const {
  MGlobal::displayWarning(MFnDependencyNode(thisMObject()).name() + ": " + what);
}

MStatus qv_vpProjector::computeOcclusionMap(const MPlug& plug, MDataBlock& data) {
  MStatus status;
  std::shared_ptr<const qv::vpProjector::DepthMap> map;
  const bool wanted =
      data.inputValue(mapType).asInt() == 2 && data.inputValue(useShadowOcclusion).asBool();
  // Read whether wanted or not, so that the connections are clean again.
  MArrayDataHandle meshes = data.inputArrayValue(occluders, &status);
  QV_CHECK_MSTATUS(status);
  ProjectionCamera camera;
  if (wanted && findProjectionCamera(thisMObject(), &camera) && !camera.connected) {
    warn(
        "useShadowOcclusion needs a camera connected into placementMatrix; the viewport shows "
        "no occlusion");
  } else if (wanted && camera.connected) {
    int resolution = data.inputValue(occlusionResolution).asInt();
    const int clamped = std::clamp(resolution, kMinOcclusionResolution, kMaxOcclusionResolution);
    if (clamped != resolution) {
      warn(MString("occlusionResolution ") + resolution + " is outside " + kMinOcclusionResolution +
           " to " + kMaxOcclusionResolution + "; the depth map is " + clamped + " texels across");
      resolution = clamped;
    }
    qv::vpProjector::DepthProjection projection;
    const MMatrix toCamera = data.inputValue(placementMatrix).asMatrix();
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) projection.worldToCamera[r][c] = toCamera(r, c);
    }
    projection.tanHalfWidth = std::tan(0.5 * camera.horizontalFov);
    projection.tanHalfHeight = std::tan(0.5 * camera.verticalFov);
    qv::vpProjector::DepthMapBuilder builder(projection);
    const unsigned int count = meshes.elementCount();
    for (unsigned int k = 0; k < count; ++k) {
      if (!meshes.jumpToArrayElement(k)) continue;
      const unsigned int index = meshes.elementIndex();
      MDataHandle element = meshes.inputValue(&status);
      MFnMesh mesh(status ? element.asMesh() : MObject::kNullObj, &status);
      if (!status) continue;  // nothing connected there, or no mesh: nothing to draw
      const MMatrix toWorld = element.geometryTransformMatrix();
      MPointArray points;
      MIntArray counts;
      MIntArray vertices;
      if (!mesh.getPoints(points, MSpace::kObject) || !mesh.getTriangles(counts, vertices)) {
        continue;
      }
      std::vector<std::array<double, 3>> world(points.length());
      for (unsigned int p = 0; p < points.length(); ++p) {
        const MPoint placed = points[p] * toWorld;
        world[p] = {placed.x / placed.w, placed.y / placed.w, placed.z / placed.w};
      }
      std::vector<std::array<int, 3>> triangles(vertices.length() / 3);
      for (unsigned int t = 0; t < triangles.size(); ++t) {
        triangles[t] = {vertices[3 * t], vertices[3 * t + 1], vertices[3 * t + 2]};
      }
      std::string why;
      if (!builder.addMesh(world, triangles, &why)) {
        warn(MString("occluders[") + index + "] is left out of the depth map: " + why.c_str());
      }
    }
    const auto size = qv::vpProjector::depthMapSize(projection, resolution);
    map = std::make_shared<const qv::vpProjector::DepthMap>(builder.build(size[0], size[1]));
  }
  {
    std::lock_guard<std::mutex> lock(mapMutex_);
    depthMap_ = map;
  }
  MDataHandle id = data.outputValue(plug, &status);
  QV_CHECK_MSTATUS(status);
  id.set(map ? ++lastMapId : 0);
  id.setClean();
  return MS::kSuccess;
}

void qv_vpProjector::postConstructor() {
  setMPSafe(true);
}

MStatus qv_vpProjector::setDependentsDirty(const MPlug& plugBeingDirtied,
                                           MPlugArray& affectedPlugs) {
  if (plugBeingDirtied == fileName) {
    image_.release();
    width_ = 0;
    height_ = 0;
  }
  return MPxNode::setDependentsDirty(plugBeingDirtied, affectedPlugs);
}

void qv_vpProjector::loadImage(MDataBlock& data) {
  MStatus status;
  const MString name = data.inputValue(fileName, &status).asString();
  QV_CHECK_MSTATUS(status);
  MString resolved;
  if (!MRenderUtil::exactFileTextureName(name, false, "", resolved)) return;

  unsigned int width = 0;
  unsigned int height = 0;
  if (!image_.readFromFile(resolved, MImage::kByte) || !image_.getSize(width, height)) {
    // Keep the cache empty, or pixels without sizes would stop every later
    // compute from trying the file again.
    image_.release();
    return;
  }
  width_ = width;
  height_ = height;
  MDataHandle widthHandle = data.outputValue(texWidth, &status);
  QV_CHECK_MSTATUS(status);
  widthHandle.set(static_cast<int>(width));
  widthHandle.setClean();
  MDataHandle heightHandle = data.outputValue(texHeight, &status);
  QV_CHECK_MSTATUS(status);
  heightHandle.set(static_cast<int>(height));
  heightHandle.setClean();
}

MStatus qv_vpProjector::compute(const MPlug& plug, MDataBlock& data) {
  if (plug == occlusionMapId) return computeOcclusionMap(plug, data);
  if (plug != outColor && plug.parent() != outColor && plug != outAlpha) {
    return MS::kUnknownParameter;
  }
  MStatus status;
  float red = 0.0f;
  float green = 0.0f;
  float blue = 0.0f;
  float alpha = 1.0f;

  if (image_.pixels() == nullptr) loadImage(data);

  const unsigned char* pixels = image_.pixels();
  if (pixels != nullptr && width_ != 0 && height_ != 0) {
    const float u = unitClamp(data.inputValue(uCoord, &status).asFloat());
    QV_CHECK_MSTATUS(status);
    const float v = unitClamp(data.inputValue(vCoord, &status).asFloat());
    QV_CHECK_MSTATUS(status);
    const uint64_t row = texelIndex(height_, v);
    const uint64_t column = texelIndex(width_, u);
    const unsigned char* pixel = pixels + (row * width_ + column) * 4;
    red = static_cast<float>(pixel[0] / 255.0);
    green = static_cast<float>(pixel[1] / 255.0);
    blue = static_cast<float>(pixel[2] / 255.0);
    alpha = static_cast<float>(pixel[3] / 255.0);
  }

  ProjectionCamera camera;
  status = findProjectionCamera(thisMObject(), &camera);
  if (!status) return status;

  MDataHandle ratioHandle = data.inputValue(resRatio, &status);
  QV_CHECK_MSTATUS(status);
  ratioHandle.set(camera.verticalFov);
  ratioHandle.setClean();
  MDataHandle angleHandle = data.inputValue(angleOfView, &status);
  QV_CHECK_MSTATUS(status);
  angleHandle.set(static_cast<float>(MAngle(camera.horizontalFov, MAngle::kRadians).asDegrees()));
  angleHandle.setClean();
  MDataHandle fitHandle = data.inputValue(fitType, &status);
  QV_CHECK_MSTATUS(status);
  fitHandle.set(camera.fit);
  fitHandle.setClean();

  if (!data.inputValue(r).asBool()) red = 0.0f;
  if (!data.inputValue(g).asBool()) green = 0.0f;
  if (!data.inputValue(b).asBool()) blue = 0.0f;
  if (!data.inputValue(a).asBool()) alpha = 0.0f;

  MDataHandle colorHandle = data.outputValue(outColor, &status);
  QV_CHECK_MSTATUS(status);
  colorHandle.set3Float(red, green, blue);
  colorHandle.setClean();
  MDataHandle transparencyHandle = data.outputValue(outTransparency, &status);
  QV_CHECK_MSTATUS(status);
  const float transparency = 1.0f - alpha;
  transparencyHandle.set3Float(transparency, transparency, transparency);
  transparencyHandle.setClean();
  MDataHandle alphaHandle = data.outputValue(outAlpha, &status);
  QV_CHECK_MSTATUS(status);
  alphaHandle.set(alpha);
  alphaHandle.setClean();
  return MS::kSuccess;
}
