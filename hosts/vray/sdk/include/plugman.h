// Plug-in framework classes of the V-Ray SDK stand-in: descriptors, plug-ins
// and the interfaces they expose. Like the SDK's own, these are defined in the
// header and compiled into each plug-in library; the declaration order of the
// virtual operations is their table slot order and must not change.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>

#include "vraybase.h"

class Plugin;
class PluginDesc;
class PluginHost;

// An interface that a plug-in (or one of its outputs) exposes.
class PluginInterface {
 public:
  virtual ~PluginInterface() {}
  virtual PluginID getInterfaceID() = 0;
  virtual Plugin* getPlugin() = 0;
  virtual const char* getInterfaceName() = 0;
  // Hand the interface back to the plug-in that owns it, if any.
  virtual void releaseToOwner();
};

// Root of descriptors and plug-ins: keeps a singly linked list of interface
// records that were added at run time.
class PluginBase {
 public:
  PluginBase() = default;
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;

  virtual ~PluginBase() { destroyInterfaceRecords(); }

  virtual PluginInterface* getInterface(PluginID id) { return findInterfaceRecord(id); }

  // Takes back an interface handed out earlier; the framework keeps nothing to free.
  virtual void releaseInterface(PluginInterface*) {}

  // Puts a record at the head of the list. A non-zero handBack makes the
  // record hand its interface back to its owner when the list is destroyed.
  virtual int addInterface(PluginInterface* iface, int32 handBack) {
    InterfaceRecord* record = new (std::nothrow) InterfaceRecord{iface, handBack, records_};
    if (!record) return 0;
    records_ = record;
    return 1;
  }

  // Unlinks and destroys the first record holding iface.
  virtual int removeInterface(PluginInterface* iface) {
    for (InterfaceRecord** link = &records_; *link; link = &(*link)->next) {
      if ((*link)->iface == iface) {
        InterfaceRecord* record = *link;
        *link = record->next;
        destroyRecord(record);
        return 1;
      }
    }
    return 0;
  }

 protected:
  PluginInterface* findInterfaceRecord(PluginID id) const {
    for (const InterfaceRecord* r = records_; r; r = r->next) {
      if (r->iface && r->iface->getInterfaceID() == id) return r->iface;
    }
    return nullptr;
  }

  void destroyInterfaceRecords() {
    while (records_) {
      InterfaceRecord* record = records_;
      records_ = record->next;
      destroyRecord(record);
    }
  }

 private:
  struct InterfaceRecord {
    PluginInterface* iface;
    int32 handBack;
    InterfaceRecord* next;
  };

  static void destroyRecord(InterfaceRecord* record) {
    if (record->iface && record->handBack) record->iface->releaseToOwner();
    delete record;
  }

  InterfaceRecord* records_ = nullptr;
};

// A plug-in instance.
class Plugin : public PluginBase {
 public:
  ~Plugin() override { std::free(pluginName_); }

  virtual PluginDesc* getPluginDesc() = 0;

  // Stores an owned copy of name (null clears it).
  virtual void setPluginName(const char* name) {
    std::free(pluginName_);
    pluginName_ = nullptr;
    if (name) {
      const std::size_t size = std::strlen(name) + 1;
      pluginName_ = static_cast<char*>(std::malloc(size));
      if (pluginName_) std::memcpy(pluginName_, name, size);
    }
  }

  const char* getPluginName() const { return pluginName_; }

 private:
  char* pluginName_ = nullptr;
};

inline void PluginInterface::releaseToOwner() {
  if (Plugin* owner = getPlugin()) owner->releaseInterface(this);
}

// Describes one plug-in type to the host.
class PluginDesc : public PluginBase {
 public:
  virtual PluginID getPluginID() = 0;
  virtual Plugin* newPlugin(PluginHost* host) = 0;
  virtual void deletePlugin(Plugin* plugin) = 0;
  virtual bool supportsInterface(PluginID id) = 0;
  virtual const char* getName() = 0;
  virtual void registerPlugin(PluginHost* host) = 0;
  virtual void unregisterPlugin(PluginHost* host) = 0;
  virtual const char* getCategory() { return nullptr; }
};

// Receives the plug-in descriptors of a library, one call per descriptor.
class PluginDescEnumerator {
 public:
  virtual void pluginDesc(PluginDesc* desc) = 0;

 protected:
  ~PluginDescEnumerator() = default;
};

// The library descriptor that getLibDesc() returns.
class PluginLibDesc : public PluginBase {
 public:
  virtual const char* getLibName() = 0;
  virtual const char* getLibDescription() = 0;
  virtual int enumPluginDescs(PluginDescEnumerator* enumerator) = 0;
};

// What the host offers a descriptor when it registers itself.
class PluginHost {
 public:
  virtual int registerPlugin(PluginDesc* desc) = 0;
  virtual int unregisterPlugin(PluginDesc* desc) = 0;

 protected:
  ~PluginHost() = default;
};

typedef PluginLibDesc* (*GetLibDescFn)();
