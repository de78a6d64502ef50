#pragma once

#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

namespace MHWRender {

enum MTextureType {
  kImage1D = 0,
  kImage1DArray,
  kImage2D,
  kImage2DArray,
  kCubeMap,
  kVolumeTexture,
  kDepthTexture,

  kNumberOfTextureTypes
};

enum MEnvironmentMapType {
  kEnvNone = 0,
  kEnvSphere,
  kEnvHemiSphere,
  kEnvLatLong,
  kEnvCrossVert,
  kEnvCrossHoriz,
  kEnvCubemap,

  kNumberOfEnvMapTypes
};

// Left unset until filled in by the texture or by setToDefault2DTexture.
class MTextureDescription {
 public:
  // An empty 2D RGBA8 texture of one level.
  void setToDefault2DTexture() {
    fWidth = 0;
    fHeight = 0;
    fDepth = 1;
    fBytesPerRow = 0;
    fBytesPerSlice = 0;
    fMipmaps = 1;
    fArraySlices = 1;
    fFormat = kR8G8B8A8_UNORM;
    fTextureType = kImage2D;
    fEnvMapType = kEnvNone;
  }

  unsigned int fWidth;
  unsigned int fHeight;
  unsigned int fDepth;
  unsigned int fBytesPerRow;
  unsigned int fBytesPerSlice;
  unsigned int fMipmaps;
  unsigned int fArraySlices;
  MRasterFormat fFormat;
  MTextureType fTextureType;
  MEnvironmentMapType fEnvMapType;
};

// A texture held by the texture manager, shared by everyone who acquired the
// same file and alive until the last of them releases it.
class MTexture {
 public:
  const MString& name() const;
  void textureDescription(MTextureDescription& desc) const;
  // A copy of level 0, four bytes per pixel, rows bottom-up as Maya stores
  // images; free it with freeRawData.
  void* rawData(int& rowPitch, int& slicePitch) const;
  static void freeRawData(void* data);

 private:
  MTexture();
  ~MTexture();
  friend struct qv::maya::detail::RendererAccess;
};

class MTextureManager {
 public:
  // Null when the file cannot be read. mipmapLevels 0 asks for a full chain.
  MTexture* acquireTexture(const MString& filePath, int mipmapLevels = 0,
                           bool useExposureControl = true, const MString& layerName = MString(),
                           int alphaChannelIdx = -1);
  // The node gives the context Maya resolves a relative path in; the
  // stand-in reads every path alike.
  MTexture* acquireTexture(const MString& filePath, const MString& contextNodeFullName,
                           int mipmapLevels = 0, bool useExposureControl = true,
                           const MString& layerName = MString(), int alphaChannelIdx = -1);
  // A texture made from pixels in memory, laid out as the description
  // says, under a name that findTexture finds; null for a format or shape
  // the stand-in does not hold.
  MTexture* acquireTexture(const MString& textureName,
                           const MHWRender::MTextureDescription& textureDesc, const void* pixelData,
                           bool generateMipMaps = true);
  void releaseTexture(MTexture* texture) const;
  // Another reference on the live texture of that name, or null.
  MTexture* findTexture(const MString& textureName);

 private:
  MTextureManager();
  ~MTextureManager();
  friend struct qv::maya::detail::RendererAccess;
};

}  // namespace MHWRender
