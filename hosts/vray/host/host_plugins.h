// Plug-ins that the stand-in host builds in, as V-Ray does its own bitmap
// and UVW plug-ins: BitmapBuffer (a painting read from an image file),
// UVWGenProjection (camera projection, type 8) and TexBitmap (the painting
// looked up through the projection). The plug-in manager registers them like
// a library's plug-ins; a scene creates and sets them like any other.
#pragma once

#include <string>

#include "image_file.h"
#include "plugman.h"
#include "vrayrenderer.h"

namespace qv::vrayhost {

enum : PluginID {
  EXT_BITMAP = 0x7778000A,
  EXT_UVWGEN = 0x7778000B,
  EXT_HOST_SETUP = 0x7778000C,
};

// What a bitmap buffer offers the textures that read it.
class BitmapInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_BITMAP; }
  const char* getInterfaceName() override { return "EXT_BITMAP"; }

  // Rows top-down, at the file's own depth; empty until the buffer is
  // prepared.
  virtual const image::Picture& pixels() = 0;
};

// Where a shading point falls on a picture, as a UVW generator works it out.
class UVWGenInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_UVWGEN; }
  const char* getInterfaceName() override { return "EXT_UVWGEN"; }

  // (u, v) of rc's shading point on a picture of width x height pixels,
  // (0, 0) being its top-left corner and (1, 1) its bottom-right. False where
  // the generator puts the point on no picture at all.
  virtual bool pictureUV(const VUtils::VRayContext& rc, int width, int height, double* u,
                         double* v) = 0;
};

// A host plug-in that reads files or checks its parameters once the scene
// has set them, before any render: what a frame hook cannot report.
class HostSetupInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_HOST_SETUP; }
  const char* getInterfaceName() override { return "EXT_HOST_SETUP"; }

  // sceneDir is where file names relative to the scene start. False, with
  // a message that does not name the plug-in, when the plug-in cannot work.
  virtual bool prepare(const std::string& sceneDir, std::string* error) = 0;
};

// The library descriptor of the built-in plug-ins, alive for the whole run.
PluginLibDesc* hostPluginLibrary();

}  // namespace qv::vrayhost
