#pragma once

#include <maya/MFnBase.h>

class MFnData : public MFnBase {
 public:
  MFnData();
  MFnData(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnData(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnData() override;

  enum Type {
    kInvalid,
    kNumeric,
    kPlugin,
    kPluginGeometry,
    kString,
    kMatrix,
    kStringArray,
    kDoubleArray,
    kFloatArray,
    kIntArray,
    kPointArray,
    kVectorArray,
    kMatrixArray,
    kComponentList,
    kMesh,
    kLattice,
    kNurbsCurve,
    kNurbsSurface,
    kSphere,
    kDynArrayAttrs,
    kDynSweptGeometry,
    kSubdSurface,
    kNObject,
    kNId,
    kAny,
    kLast
  };

  MFn::Type type() const override { return MFn::kData; }

 private:
  MFnData(const MFnData& other);
  MFnData& operator=(const MFnData& other);
  MFnData* operator&() const;
};
