// The stand-in's plug-in manager: loads texture libraries from disk, asks
// each for its library descriptor, registers the plug-in descriptors it
// enumerates and creates plug-in instances from them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "plugman.h"

namespace qv::vrayhost {

// A plug-in instance, deleted through its descriptor.
class PluginInstance {
 public:
  PluginInstance(PluginDesc* desc, Plugin* plugin) : desc_(desc), plugin_(plugin) {}
  ~PluginInstance() {
    if (plugin_) desc_->deletePlugin(plugin_);
  }
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  PluginDesc* desc() const { return desc_; }
  Plugin* plugin() const { return plugin_; }

 private:
  PluginDesc* desc_;
  Plugin* plugin_;
};

// Instances must be deleted before the manager that made them: their code
// lives in the manager's libraries.
class PluginManager final : public PluginHost {
 public:
  PluginManager() = default;
  ~PluginManager();
  PluginManager(const PluginManager&) = delete;
  PluginManager& operator=(const PluginManager&) = delete;

  // Loads one library and registers its plug-in types. False, with a
  // message, when the file is not a loadable V-Ray plug-in library or
  // defines a type that is already registered; nothing is kept then.
  bool loadLibrary(const std::string& path, std::string* error);

  // Loads every vray_*.so (.dll on Windows) in dir, in name order.
  bool loadDirectory(const std::string& dir, std::string* error);

  // Registers the plug-ins built into the host (BitmapBuffer,
  // UVWGenProjection, TexBitmap) as one more library. False, with a
  // message, when they are registered already or a loaded library defines
  // one of their types.
  bool addHostPlugins(std::string* error);

  PluginDesc* findDesc(const std::string& typeName) const;
  std::vector<std::string> typeNames() const;

  // Null when the type is unknown or the descriptor creates nothing.
  std::unique_ptr<PluginInstance> create(const std::string& typeName,
                                         const std::string& instanceName);

  int registerPlugin(PluginDesc* desc) override;
  int unregisterPlugin(PluginDesc* desc) override;

 private:
  struct Library {
    host::DynamicLibrary module;
    PluginLibDesc* libDesc = nullptr;
    std::vector<PluginDesc*> descs;
  };

  void unload(Library& library);
  bool add(std::unique_ptr<Library> library, const std::string& what, std::string* error);

  std::vector<std::unique_ptr<Library>> libraries_;
  std::vector<PluginDesc*> registered_;
};

}  // namespace qv::vrayhost
