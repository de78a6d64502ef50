#pragma once

#include <maya/MFnAttribute.h>

// The compound through which Maya hands a shading node the lights that
// reach it: direction, intensity, which of ambient, diffuse and specular
// the light gives, its shadow fraction, its intensity before shadowing and
// its blind data, each a child made beforehand.
class MFnLightDataAttribute : public MFnAttribute {
 public:
  MFnLightDataAttribute();
  MFnLightDataAttribute(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnLightDataAttribute(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnLightDataAttribute() override;

  MFn::Type type() const override { return MFn::kLightDataAttribute; }

  MObject create(const MString& fullName, const MString& briefName, const MObject& direction,
                 const MObject& intensity, const MObject& ambient, const MObject& diffuse,
                 const MObject& specular, const MObject& shadowFraciton,
                 const MObject& preShadowIntensity, const MObject& blindData,
                 MStatus* ReturnStatus = nullptr);
  MStatus getDefault(float& defDirectionX, float& defDirectionY, float& defDirectionZ,
                     float& defIntensityR, float& defIntensityG, float& defIntensityB,
                     bool& defAmbient, bool& defDiffuse, bool& defSpecular,
                     float& defShadowFraction, float& defPreShadowIntensity, void*& defBlindData);
  MStatus setDefault(float defDirectionX, float defDirectionY, float defDirectionZ,
                     float defIntensityR, float defIntensityG, float defIntensityB, bool defAmbient,
                     bool defDiffuse, bool defSpecular, float defShadowFraction,
                     float defPreShadowIntensity, void* defBlindData);
  MObject child(unsigned int index, MStatus* returnStatus);

 private:
  MFnLightDataAttribute(const MFnLightDataAttribute& other);
  MFnLightDataAttribute& operator=(const MFnLightDataAttribute& other);
  MFnLightDataAttribute* operator&() const;
};
