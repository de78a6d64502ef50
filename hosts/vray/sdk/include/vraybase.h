// Basic value types and export macros of the V-Ray SDK stand-in.
//
// The layouts follow what texture plug-ins rely on: colours are four float32
// channels, shading vectors three float32, trace points three float64 and a
// transform a 3x3 float32 matrix (stored as three column vectors) followed by
// its offset, the position of the transform's origin.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define VRAY_EXPORT __declspec(dllexport)
#define VRAY_IMPORT __declspec(dllimport)
#else
#define VRAY_EXPORT __attribute__((visibility("default")))
#define VRAY_IMPORT __attribute__((visibility("default")))
#endif

// VRAY_API marks what the host library (vray.dll) exports and plug-ins import.
#if defined(VRAY_BUILDING_HOST_LIBRARY)
#define VRAY_API VRAY_EXPORT
#else
#define VRAY_API VRAY_IMPORT
#endif

// What a plug-in library exports for the plug-in manager.
#define VRAY_PLUGIN_EXPORT extern "C" VRAY_EXPORT

typedef unsigned int PluginID;
typedef std::int32_t int32;
typedef std::uint32_t uint32;

namespace VUtils {

struct Color {
  float r = 0.0f, g = 0.0f, b = 0.0f;
  Color() = default;
  constexpr Color(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
};

struct AColor {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
  AColor() = default;
  constexpr AColor(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
  constexpr AColor(const Color& c, float a_) : r(c.r), g(c.g), b(c.b), a(a_) {}
};

inline bool operator==(const AColor& x, const AColor& y) {
  return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}
inline bool operator!=(const AColor& x, const AColor& y) {
  return !(x == y);
}

// Single-precision vector: normals, directions, bump gradients.
struct Vector {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  Vector() = default;
  constexpr Vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
};
typedef Vector ShadeVec;

inline bool operator==(const Vector& u, const Vector& v) {
  return u.x == v.x && u.y == v.y && u.z == v.z;
}

// Double-precision point: hit positions and ray origins.
struct TraceVector {
  double x = 0.0, y = 0.0, z = 0.0;
  TraceVector() = default;
  constexpr TraceVector(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};
typedef TraceVector TracePoint;

// Columns f[0], f[1], f[2].
struct Matrix {
  Vector f[3];
};

struct Transform {
  Matrix m;
  Vector offs;
};

}  // namespace VUtils
