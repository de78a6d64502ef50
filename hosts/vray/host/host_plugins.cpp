#include "host_plugins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <new>
#include <vector>

#include "vrayhost/parameters.h"
#include "vrayplugins.h"

namespace qv::vrayhost {

namespace {

using VUtils::AColor;
using VUtils::TraceVector;
using VUtils::Transform;
using VUtils::VRayContext;

constexpr int kCameraProjection = 8;  // UVWGenProjection's type that projects through a camera
constexpr double kPi = 3.14159265358979323846;

// Parameters live in the parameter list until a frame starts; a host plug-in
// that must look at them earlier has the list write them now.
void readParameters(VUtils::VRayParameterList* list) {
  list->impl().fillInputCaches();
}

class BitmapBuffer final : public VUtils::VRayPlugin,
                           public BitmapInterface,
                           public HostSetupInterface {
 public:
  explicit BitmapBuffer(PluginDesc* desc) : VRayPlugin(desc) {
    paramList().setParamCache("file", &file_);
  }

  static void declare(VUtils::VRayParameterListDesc& params) {
    params.addParamString("file", "", -1, "The image file, relative to the scene", nullptr);
  }

  Plugin* getPlugin() override { return this; }
  PluginInterface* getInterface(PluginID id) override {
    if (id == EXT_BITMAP) return static_cast<BitmapInterface*>(this);
    if (id == EXT_HOST_SETUP) return static_cast<HostSetupInterface*>(this);
    return VRayPlugin::getInterface(id);
  }

  const image::Picture& pixels() override { return pixels_; }

  bool prepare(const std::string& sceneDir, std::string* error) override {
    readParameters(getParameterList());
    if (!file_ || !*file_) {
      *error = "needs 'file', the image to read";
      return false;
    }
    const std::filesystem::path path = std::filesystem::path(sceneDir) / file_;
    image::Picture picture;
    std::string reason;
    if (!image::read(path.string(), &picture, &reason)) {
      *error = reason;
      return false;
    }
    if (picture.empty()) {
      *error = path.string() + " holds no pixels";
      return false;
    }
    pixels_ = std::move(picture);
    return true;
  }

 private:
  const char* file_ = nullptr;
  image::Picture pixels_;
};

// Camera projection after Maya's camera-projection viewport shader, so that
// a painting lands on the same surface points in every host: the camera
// looks down its own -z axis with +y up; the picture's horizontal field of
// view is fov, its vertical one follows from the picture's proportions.
class UVWGenProjection final : public VUtils::VRayPlugin,
                               public UVWGenInterface,
                               public HostSetupInterface {
 public:
  explicit UVWGenProjection(PluginDesc* desc) : VRayPlugin(desc) {
    paramList().setParamCache("type", &type_);
    paramList().setParamCache("camera_transform", &camera_);
    paramList().setParamCache("fov", &fov_);
  }

  static void declare(VUtils::VRayParameterListDesc& params) {
    Transform identity;
    identity.m.f[0] = VUtils::Vector(1.0f, 0.0f, 0.0f);
    identity.m.f[1] = VUtils::Vector(0.0f, 1.0f, 0.0f);
    identity.m.f[2] = VUtils::Vector(0.0f, 0.0f, 1.0f);
    params.addParamInt("type", 0, -1, "Projection type; 8 projects through a camera", nullptr);
    params.addParamTransform("camera_transform", identity, -1,
                             "Projection camera to world: looks down -z, +y up", nullptr);
    params.addParamFloat("fov", static_cast<float>(kPi / 4.0), -1,
                         "Horizontal field of view in radians", nullptr);
  }

  Plugin* getPlugin() override { return this; }
  PluginInterface* getInterface(PluginID id) override {
    if (id == EXT_UVWGEN) return static_cast<UVWGenInterface*>(this);
    if (id == EXT_HOST_SETUP) return static_cast<HostSetupInterface*>(this);
    return VRayPlugin::getInterface(id);
  }

  bool prepare(const std::string&, std::string* error) override {
    readParameters(getParameterList());
    ready_ = false;
    if (type_ != kCameraProjection) {
      *error = "'type' " + std::to_string(type_) +
               " is not supported: the stand-in projects through a camera only (type=8)";
      return false;
    }
    if (!(fov_ > 0.0f && static_cast<double>(fov_) < kPi)) {
      char shown[32];
      std::snprintf(shown, sizeof shown, "%g", static_cast<double>(fov_));
      *error = std::string("'fov' must lie between 0 and pi radians, got ") + shown;
      return false;
    }
    if (!invert(camera_)) {
      *error = "'camera_transform' cannot be inverted: its matrix is singular";
      return false;
    }
    origin_ = TraceVector(camera_.offs.x, camera_.offs.y, camera_.offs.z);
    tanHalfFov_ = std::tan(0.5 * static_cast<double>(fov_));
    ready_ = true;
    return true;
  }

  bool pictureUV(const VRayContext& rc, int width, int height, double* u, double* v) override {
    if (!ready_ || width < 1 || height < 1) return false;
    const TraceVector& p = rc.rayresult.wpoint;
    const TraceVector offset = rc.frameData ? rc.frameData->frameOffset : TraceVector();
    const double d[3] = {p.x + offset.x - origin_.x, p.y + offset.y - origin_.y,
                         p.z + offset.z - origin_.z};
    double pc[3];
    for (int r = 0; r < 3; ++r)
      pc[r] = inverse_[r][0] * d[0] + inverse_[r][1] * d[1] + inverse_[r][2] * d[2];
    if (!(pc[2] < 0.0)) return false;  // behind the camera, or in its plane
    // tan(fovV / 2) with fovV = 2 atan(tan(fovH / 2) * height / width).
    const double tanHalfFovV = tanHalfFov_ * static_cast<double>(height) / width;
    *u = 0.5 + 0.5 * pc[0] / (-pc[2] * tanHalfFov_);
    *v = 0.5 - 0.5 * pc[1] / (-pc[2] * tanHalfFovV);
    return true;
  }

 private:
  // World to camera: the inverse of the camera's matrix (its columns are the
  // camera's axes in world space), in double.
  bool invert(const Transform& tm) {
    const VUtils::Vector* c = tm.m.f;
    const double m[3][3] = {
        {c[0].x, c[1].x, c[2].x}, {c[0].y, c[1].y, c[2].y}, {c[0].z, c[1].z, c[2].z}};
    const double cof[3][3] = {
        {m[1][1] * m[2][2] - m[1][2] * m[2][1], m[0][2] * m[2][1] - m[0][1] * m[2][2],
         m[0][1] * m[1][2] - m[0][2] * m[1][1]},
        {m[1][2] * m[2][0] - m[1][0] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0],
         m[0][2] * m[1][0] - m[0][0] * m[1][2]},
        {m[1][0] * m[2][1] - m[1][1] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1],
         m[0][0] * m[1][1] - m[0][1] * m[1][0]}};
    const double det = m[0][0] * cof[0][0] + m[0][1] * cof[1][0] + m[0][2] * cof[2][0];
    if (!(std::fabs(det) > 1e-12) || !std::isfinite(det)) return false;
    for (int r = 0; r < 3; ++r) {
      for (int k = 0; k < 3; ++k) inverse_[r][k] = cof[r][k] / det;
    }
    return true;
  }

  int type_ = 0;
  Transform camera_;
  float fov_ = 0.0f;
  bool ready_ = false;
  TraceVector origin_;
  double inverse_[3][3] = {};
  double tanHalfFov_ = 1.0;
};

// The bitmap's texel under the point, nearest texel, with no filtering: an
// unoccluded pixel shows exactly a pixel of the painting.
class TexBitmap final : public VUtils::VRayTexture, public HostSetupInterface {
 public:
  explicit TexBitmap(PluginDesc* desc) : VRayTexture(desc) {
    paramList().setParamCache("bitmap", &bitmap_);
    paramList().setParamCache("uvwgen", &uvwgen_);
    paramList().setParamCache("default_color", &defaultColor_);
  }

  static void declare(VUtils::VRayParameterListDesc& params) {
    params.addParamPlugin("bitmap", EXT_BITMAP, -1, "The BitmapBuffer to read", nullptr);
    params.addParamPlugin("uvwgen", EXT_UVWGEN, -1, "Where the bitmap lands", nullptr);
    params.addParamTexture("default_color", -1, "Colour off the bitmap", nullptr);
  }

  Plugin* getPlugin() override { return this; }
  PluginInterface* getInterface(PluginID id) override {
    if (id == EXT_HOST_SETUP) return static_cast<HostSetupInterface*>(this);
    return VRayTexture::getInterface(id);
  }

  bool prepare(const std::string&, std::string* error) override {
    readParameters(getParameterList());
    if (!bitmap_ || !uvwgen_) {
      *error = std::string("needs '") + (bitmap_ ? "uvwgen" : "bitmap") + "'";
      return false;
    }
    return true;
  }

  AColor texColor(const VRayContext& rc) override {
    if (bitmap_ && uvwgen_) {
      const image::Picture& picture = bitmap()->pixels();
      const int width = picture.width(), height = picture.height();
      double u = 0.0, v = 0.0;
      if (uvwgen()->pictureUV(rc, width, height, &u, &v) && u >= 0.0 && u <= 1.0 && v >= 0.0 &&
          v <= 1.0) {
        const int column = std::min(static_cast<int>(u * width), width - 1);
        const int row = std::min(static_cast<int>(v * height), height - 1);
        const std::array<float, 4> texel = picture.texel(column, row);
        return AColor(texel[0], texel[1], texel[2], texel[3]);
      }
    }
    return defaultColor_ ? defaultColor_->texColor(rc) : AColor(0.0f, 0.0f, 0.0f, 0.0f);
  }

  void texColorBounds(AColor& cmin, AColor& cmax) override {
    if (defaultColor_) {
      defaultColor_->texColorBounds(cmin, cmax);
    } else {
      cmin = cmax = AColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    if (!bitmap_) return;
    float lo[4] = {cmin.r, cmin.g, cmin.b, cmin.a};
    float hi[4] = {cmax.r, cmax.g, cmax.b, cmax.a};
    bitmap()->pixels().channelRange(lo, hi);
    cmin = AColor(lo[0], lo[1], lo[2], lo[3]);
    cmax = AColor(hi[0], hi[1], hi[2], hi[3]);
  }

 private:
  // The links hold the interfaces asked for when they were set.
  BitmapInterface* bitmap() const { return static_cast<BitmapInterface*>(bitmap_); }
  UVWGenInterface* uvwgen() const { return static_cast<UVWGenInterface*>(uvwgen_); }

  PluginInterface* bitmap_ = nullptr;
  PluginInterface* uvwgen_ = nullptr;
  VUtils::TextureInterface* defaultColor_ = nullptr;
};

template <class T>
class HostPluginDesc final : public VUtils::VRayPluginDesc {
 public:
  HostPluginDesc(const char* name, PluginID id, std::initializer_list<PluginID> interfaces)
      : VRayPluginDesc(&params_), name_(name), id_(id), interfaces_(interfaces) {
    T::declare(params_);
  }

  PluginID getPluginID() override { return id_; }
  Plugin* newPlugin(PluginHost*) override { return new (std::nothrow) T(this); }
  void deletePlugin(Plugin* plugin) override { delete plugin; }
  bool supportsInterface(PluginID id) override {
    for (PluginID known : interfaces_) {
      if (known == id) return true;
    }
    return false;
  }
  const char* getName() override { return name_; }

 private:
  VUtils::VRayParameterListDesc params_;
  const char* name_;
  PluginID id_;
  std::vector<PluginID> interfaces_;
};

class HostLibDesc final : public PluginLibDesc {
 public:
  const char* getLibName() override { return "vray stand-in host"; }
  const char* getLibDescription() override { return "Plug-ins built into the V-Ray stand-in"; }
  int enumPluginDescs(PluginDescEnumerator* enumerator) override {
    if (!enumerator) return 1;
    enumerator->pluginDesc(&bitmapBuffer_);
    enumerator->pluginDesc(&projection_);
    enumerator->pluginDesc(&texBitmap_);
    return 1;
  }

 private:
  HostPluginDesc<BitmapBuffer> bitmapBuffer_{
      "BitmapBuffer", 0x51560001, {VUtils::EXT_VRAY_PLUGIN, EXT_BITMAP}};
  HostPluginDesc<UVWGenProjection> projection_{
      "UVWGenProjection", 0x51560002, {VUtils::EXT_VRAY_PLUGIN, EXT_UVWGEN}};
  HostPluginDesc<TexBitmap> texBitmap_{
      "TexBitmap", 0x51560003, {VUtils::EXT_VRAY_PLUGIN, VUtils::EXT_TEXTURE}};
};

}  // namespace

PluginLibDesc* hostPluginLibrary() {
  static HostLibDesc library;
  return &library;
}

}  // namespace qv::vrayhost
