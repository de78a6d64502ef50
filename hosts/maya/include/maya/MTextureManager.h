#pragma once

#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

namespace MHWRender {

// Left unset until filled in by the texture or by setToDefault2DTexture.
class MTextureDescription {
 public:
  void setToDefault2DTexture() {
    fWidth = 0;
    fHeight = 0;
    fDepth = 1;
    fMipmaps = 1;
    fFormat = kR8G8B8A8_UNORM;
  }

  unsigned int fWidth;
  unsigned int fHeight;
  unsigned int fDepth;
  unsigned int fMipmaps;
  MRasterFormat fFormat;
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
  void releaseTexture(MTexture* texture) const;

 private:
  MTextureManager();
  ~MTextureManager();
  friend struct qv::maya::detail::RendererAccess;
};

}  // namespace MHWRender
