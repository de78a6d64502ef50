#include "plugin_manager.h"

#include <algorithm>
#include <filesystem>

#include "host_plugins.h"
#include "vrayhost/parameters.h"

namespace qv::vrayhost {

namespace {

struct DescCollector final : PluginDescEnumerator {
  void pluginDesc(PluginDesc* desc) override {
    if (desc) descs.push_back(desc);
  }
  std::vector<PluginDesc*> descs;
};

}  // namespace

PluginManager::~PluginManager() {
  for (auto it = libraries_.rbegin(); it != libraries_.rend(); ++it) unload(**it);
}

void PluginManager::unload(Library& library) {
  for (PluginDesc* desc : library.descs) {
    desc->unregisterPlugin(this);
    forgetParameters(desc);
  }
  library.descs.clear();
  library.module.close();
}

bool PluginManager::loadLibrary(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };

  auto library = std::make_unique<Library>();
  std::string reason;
  if (!library->module.open(path, &reason)) return fail(path + ": cannot load library: " + reason);

  auto getLibDesc = reinterpret_cast<GetLibDescFn>(library->module.symbol("getLibDesc"));
  if (!getLibDesc) return fail(path + ": not a V-Ray plug-in library (no getLibDesc)");
  library->libDesc = getLibDesc();
  if (!library->libDesc) return fail(path + ": getLibDesc returned no library descriptor");
  return add(std::move(library), path, error);
}

bool PluginManager::addHostPlugins(std::string* error) {
  auto library = std::make_unique<Library>();
  library->libDesc = hostPluginLibrary();
  return add(std::move(library), "the host's own plug-ins", error);
}

bool PluginManager::add(std::unique_ptr<Library> library, const std::string& what,
                        std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  // The loader hands out the copy it already has for the same file (or a link
  // to it); saying its types come from another library would mislead.
  for (const auto& loaded : libraries_) {
    if (loaded->libDesc == library->libDesc) {
      if (!loaded->module.isOpen()) return fail(what + " are registered already");
      return fail(what + ": the library is already loaded (as " + loaded->module.path() + ")");
    }
  }

  DescCollector collector;
  library->libDesc->enumPluginDescs(&collector);
  if (collector.descs.empty()) return fail(what + ": the library describes no plug-in");
  for (PluginDesc* desc : collector.descs) {
    const char* name = desc->getName();
    if (!name || !*name) return fail(what + ": a plug-in descriptor has no name");
    if (findDesc(name)) {
      return fail(what + ": plug-in type '" + name + "' is already loaded from another library");
    }
  }

  for (PluginDesc* desc : collector.descs) {
    desc->registerPlugin(this);
    library->descs.push_back(desc);
  }
  libraries_.push_back(std::move(library));
  return true;
}

bool PluginManager::loadDirectory(const std::string& dir, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<std::string> paths;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    const std::string suffix = host::libraryFileSuffix();
    if (file.rfind("vray_", 0) == 0 && file.size() > suffix.size() &&
        file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0) {
      paths.push_back(it->path().string());
    }
  }
  if (ec) {
    if (error) *error = dir + ": cannot read plug-in folder: " + ec.message();
    return false;
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    if (!loadLibrary(path, error)) return false;
  }
  return true;
}

PluginDesc* PluginManager::findDesc(const std::string& typeName) const {
  for (PluginDesc* desc : registered_) {
    const char* name = desc->getName();
    if (name && typeName == name) return desc;
  }
  return nullptr;
}

std::vector<std::string> PluginManager::typeNames() const {
  std::vector<std::string> names;
  for (PluginDesc* desc : registered_) names.emplace_back(desc->getName());
  return names;
}

std::unique_ptr<PluginInstance> PluginManager::create(const std::string& typeName,
                                                      const std::string& instanceName) {
  PluginDesc* desc = findDesc(typeName);
  if (!desc) return nullptr;
  Plugin* plugin = desc->newPlugin(this);
  if (!plugin) return nullptr;
  plugin->setPluginName(instanceName.c_str());
  return std::make_unique<PluginInstance>(desc, plugin);
}

int PluginManager::registerPlugin(PluginDesc* desc) {
  if (!desc || std::find(registered_.begin(), registered_.end(), desc) != registered_.end()) {
    return 0;
  }
  registered_.push_back(desc);
  return 1;
}

int PluginManager::unregisterPlugin(PluginDesc* desc) {
  auto it = std::find(registered_.begin(), registered_.end(), desc);
  if (it == registered_.end()) return 0;
  registered_.erase(it);
  return 1;
}

}  // namespace qv::vrayhost
