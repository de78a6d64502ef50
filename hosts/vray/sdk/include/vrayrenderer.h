// The renderer and the shading context that V-Ray hands to a texture.
#pragma once

#include "vraybase.h"

namespace VUtils {

// Ray flag that tells textures not to use (or fill) their per-context caches.
enum : uint32 { RT_NO_CACHE = 0x400000 };

class VRayContext;

// Sample values for secondary rays: well distributed in [0, 1) over the
// index, and the same for the same shading point and index every time.
class VRayRenderSampler {
 public:
  virtual float getSample(const VRayContext& rc, int index) = 0;

 protected:
  ~VRayRenderSampler() = default;
};

class VRAY_API VRayRenderer {
 public:
  virtual ~VRayRenderer();
  // Number of render threads that may shade at once; thread indices run from
  // 0 to getNumThreads() - 1.
  virtual int getNumThreads() const = 0;

  // Traces rc's ray from rayparams.rayOrigin along rayparams.viewDir between
  // rayparams.mint and rayparams.maxt and leaves the light that passes along
  // it in rc.mtlresult.color: 1 where nothing blocks it, 0 where it is fully
  // blocked. A renderer without geometry lets all light pass.
  virtual void traceRay(VRayContext& rc);

  virtual VRayRenderSampler* getSampler();
};

// Per-render-thread data that a shading context points to.
struct VRayThreadData {
  int threadIndex = 0;
};

struct VRayRayParams {
  uint32 rayFlags = 0;
  ShadeVec viewDir;      // direction of the ray, unit length
  TracePoint rayOrigin;  // where the ray starts
  struct {
    TracePoint p;
    ShadeVec dir;
  } tracedRay;        // the ray as traced: copies of origin and direction
  double mint = 0.0;  // ray segment, in distance along viewDir
  double maxt = 0.0;
};

struct VRayRayResult {
  TracePoint wpoint;              // hit point, render space
  ShadeVec normal;                // shading normal, as given
  const void* surface = nullptr;  // host's record of the surface that was hit
};

// What shading or tracing a context produced.
struct VRayMtlResult {
  Color color;
};

// Per-frame data of the renderer.
struct VRayFrameData {
  TracePoint frameOffset;  // render space + frameOffset = world space
};

// An optional object a host attaches to contexts to hear from textures.
class VRayContextExtension {
 public:
  virtual PluginID getExtensionID() = 0;
  virtual int notify(int value) = 0;

 protected:
  ~VRayContextExtension() = default;
};

// Ray types of spawned contexts.
enum : int { RT_SHADOW_RAY = 0x10000 };

// The host's per-shading-point object. A texture keys its caches on the
// render-thread index, the cache entry index and the cache stamp; the host
// never hands out stamp 0, and gives the same (index, stamp) pair only when it
// asks again for the same shading point.
class VRAY_API VRayContext {
 public:
  VRayContext() = default;
  VRayContext(const VRayContext&) = default;
  VRayContext& operator=(const VRayContext&) = default;
  virtual ~VRayContext();

  // A context for a secondary ray from this shading point, with this
  // context's renderer, thread, frame and hit. The caller owns it until it
  // calls releaseContext() on it.
  virtual VRayContext* newSpawnContext(int kind, const Color& weight, int rayType,
                                       const ShadeVec& dir) const;
  // Gives a spawned context back to the host; does nothing on a context that
  // was not spawned.
  virtual void releaseContext();

  VRayRenderer* vray = nullptr;
  const VRayThreadData* threadData = nullptr;
  const VRayFrameData* frameData = nullptr;
  VRayContextExtension* extension = nullptr;
  VRayRayParams rayparams;
  VRayRayResult rayresult;
  VRayMtlResult mtlresult;
  int cacheIndex = 0;
  uint32 cacheStamp = 1;
  int rayType = 0;

 protected:
  // Makes this a context for a secondary ray of parent's.
  void initSpawned(const VRayContext& parent, int type, const ShadeVec& dir);
};

}  // namespace VUtils
