#pragma once

#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

#include <memory>
#include <vector>

namespace MHWRender {
class MAttributeParameterMapping;
class MAttributeParameterMappingList;
}  // namespace MHWRender

namespace qv::maya::detail {
struct MappingAccess;
}  // namespace qv::maya::detail

namespace MHWRender {

class MShaderInstance;

// Ties a fragment parameter to a node attribute. An empty attribute name
// leaves the parameter to the override's updateShader. Maya fills in the
// parameter's name in the built shader, which may differ from its own.
class MAttributeParameterMapping {
 public:
  MAttributeParameterMapping(const MString& paramName, const MString& attrName,
                             bool allowConnection, bool allowRename);
  ~MAttributeParameterMapping();

  const MString& parameterName() const { return parameterName_; }
  const MString& resolvedParameterName() const { return resolvedParameterName_; }
  const MString& attributeName() const { return attributeName_; }
  bool allowConnection() const { return allowConnection_; }
  bool allowRename() const { return allowRename_; }

 private:
  // Only a list copies a mapping, into a mapping of its own.
  MAttributeParameterMapping(const MAttributeParameterMapping& other);
  MAttributeParameterMapping& operator=(const MAttributeParameterMapping& other);

  friend class MAttributeParameterMappingList;
  // The viewport names the parameter while it builds the shader.
  friend struct qv::maya::detail::MappingAccess;

  MString parameterName_;
  MString resolvedParameterName_;
  MString attributeName_;
  bool allowConnection_;
  bool allowRename_;
};

class MAttributeParameterMappingList {
 public:
  MAttributeParameterMappingList();
  ~MAttributeParameterMappingList();

  unsigned int length() const;
  // Null past the end.
  const MAttributeParameterMapping* getMapping(unsigned int index) const;
  const MAttributeParameterMapping* findByAttributeName(const MString& attributeName) const;
  const MAttributeParameterMapping* findByParameterName(const MString& parameterName) const;
  void append(const MAttributeParameterMapping& mapping);
  void clear();

 private:
  MAttributeParameterMappingList(const MAttributeParameterMappingList&);
  MAttributeParameterMappingList& operator=(const MAttributeParameterMappingList&);

  friend struct qv::maya::detail::MappingAccess;
  std::vector<std::unique_ptr<MAttributeParameterMapping>> mappings_;
};

// Viewport 2.0's view of one shading node: which fragment draws it and how
// the node's values reach the built shader. Maya creates one per node through
// the creator registered for the node's draw classification, and deletes it.
class MPxShadingNodeOverride {
 public:
  MPxShadingNodeOverride(const MObject& obj);
  virtual ~MPxShadingNodeOverride();

  virtual MHWRender::DrawAPI supportedDrawAPIs() const;
  virtual bool allowConnections() const;
  virtual MString fragmentName() const = 0;
  virtual void getCustomMappings(MAttributeParameterMappingList& mappings);
  virtual MString outputForConnection(const MPlug& sourcePlug, const MPlug& destinationPlug);
  virtual bool valueChangeRequiresFragmentRebuild(const MPlug* plug) const;
  virtual void updateDG();
  virtual void updateShader(MShaderInstance& shader,
                            const MAttributeParameterMappingList& mappings);
};

}  // namespace MHWRender
