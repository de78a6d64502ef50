#pragma once

#include <maya/MDGContext.h>
#include <maya/MFnDagNode.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>

// A camera shape. Attaching to anything else fails with kInvalidParameter,
// and so does every query of a function set that is not attached.
class MFnCamera : public MFnDagNode {
 public:
  enum FilmFit { kFillFilmFit, kHorizontalFilmFit, kVerticalFilmFit, kOverscanFilmFit, kInvalid };

  MFnCamera();
  MFnCamera(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnCamera(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnCamera() override;

  MFn::Type type() const override { return MFn::kCamera; }

  // 2·atan(aperture·25.4 / (2·focalLength)), in radians.
  double horizontalFieldOfView(MStatus* ReturnStatus = nullptr) const;
  double verticalFieldOfView(MStatus* ReturnStatus = nullptr) const;
  FilmFit filmFit(MStatus* ReturnStatus = nullptr) const;
  // Film aperture width over height.
  double aspectRatio(MStatus* ReturnStatus = nullptr) const;
  double horizontalFilmAperture(MStatus* ReturnStatus = nullptr) const;
  double verticalFilmAperture(MStatus* ReturnStatus = nullptr) const;
  double focalLength(MStatus* ReturnStatus = nullptr) const;
  bool isOrtho(MStatus* ReturnStatus = nullptr) const;
  // The width of the orthographic view, in scene units.
  double orthoWidth(MStatus* ReturnStatus = nullptr) const;

 private:
  MFnCamera(const MFnCamera& other);
  MFnCamera& operator=(const MFnCamera& other);
  MFnCamera* operator&() const;
};
