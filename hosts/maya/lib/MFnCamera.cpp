// Camera shapes, read through the graph like any node.
#include "api_support.h"
#include "graph.h"

#include <maya/MFnCamera.h>

#include <cmath>

using qv::maya::detail::graph;
using qv::maya::detail::Node;
using qv::maya::detail::nodeOf;

namespace {

// The camera's value of the attribute, or a failure when the function set
// holds no live camera.
double cameraValue(const MObject& object, const char* attribute, MStatus* ReturnStatus) {
  Node* node = nodeOf(object);
  if (!node || !node->alive || node->type->builtin != qv::maya::detail::BuiltinKind::kCamera) {
    if (ReturnStatus) *ReturnStatus = MS::kInvalidParameter;
    return 0.0;
  }
  const auto* leaf = node->type->find(attribute);
  graph().evaluate(*node, *leaf);
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  return graph().number(*node, *leaf);
}

double fieldOfView(double aperture, double focalLength) {
  return 2.0 * std::atan(aperture * 25.4 / (2.0 * focalLength));
}

}  // namespace

MFnCamera::MFnCamera() = default;

MFnCamera::MFnCamera(MObject& object, MStatus* ReturnStatus)
    : MFnCamera(static_cast<const MObject&>(object), ReturnStatus) {}

MFnCamera::MFnCamera(const MObject& object, MStatus* ReturnStatus) {
  MStatus status;
  if (graph().injected("MFnCamera::MFnCamera", &status)) {
    if (ReturnStatus) *ReturnStatus = status;
    return;
  }
  status = setObject(object);
  if (ReturnStatus) *ReturnStatus = status;
}

MFnCamera::~MFnCamera() = default;

double MFnCamera::horizontalFilmAperture(MStatus* ReturnStatus) const {
  return cameraValue(qv::maya::detail::held(*this), "horizontalFilmAperture", ReturnStatus);
}

double MFnCamera::verticalFilmAperture(MStatus* ReturnStatus) const {
  return cameraValue(qv::maya::detail::held(*this), "verticalFilmAperture", ReturnStatus);
}

double MFnCamera::focalLength(MStatus* ReturnStatus) const {
  return cameraValue(qv::maya::detail::held(*this), "focalLength", ReturnStatus);
}

double MFnCamera::horizontalFieldOfView(MStatus* ReturnStatus) const {
  MStatus status;
  const double aperture = horizontalFilmAperture(&status);
  const double focal = focalLength();
  if (ReturnStatus) *ReturnStatus = status;
  return status.error() ? 0.0 : fieldOfView(aperture, focal);
}

double MFnCamera::verticalFieldOfView(MStatus* ReturnStatus) const {
  MStatus status;
  const double aperture = verticalFilmAperture(&status);
  const double focal = focalLength();
  if (ReturnStatus) *ReturnStatus = status;
  return status.error() ? 0.0 : fieldOfView(aperture, focal);
}

bool MFnCamera::isOrtho(MStatus* ReturnStatus) const {
  return cameraValue(qv::maya::detail::held(*this), "orthographic", ReturnStatus) != 0.0;
}

double MFnCamera::orthoWidth(MStatus* ReturnStatus) const {
  return cameraValue(qv::maya::detail::held(*this), "orthographicWidth", ReturnStatus);
}

MFnCamera::FilmFit MFnCamera::filmFit(MStatus* ReturnStatus) const {
  MStatus status;
  const double fit = cameraValue(qv::maya::detail::held(*this), "filmFit", &status);
  if (ReturnStatus) *ReturnStatus = status;
  if (status.error()) return kInvalid;
  return fit >= kFillFilmFit && fit <= kOverscanFilmFit ? static_cast<FilmFit>(fit) : kInvalid;
}

double MFnCamera::aspectRatio(MStatus* ReturnStatus) const {
  MStatus status;
  const double width = horizontalFilmAperture(&status);
  const double height = verticalFilmAperture();
  if (ReturnStatus) *ReturnStatus = status;
  return status.error() ? 0.0 : width / height;
}
