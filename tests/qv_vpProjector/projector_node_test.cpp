// The qv_vpProjector node as Maya sees it: registration, attributes and
// dependencies, the image lookup and the camera values compute copies.
#include "projector_test_support.h"

#define MNoVersionString
#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MMatrix.h>
#include <maya/MPxNode.h>

#include <cmath>
#include <limits>

namespace qv::vpProjector::test {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class ProjectorNodeTest : public ProjectorSession {
 protected:
  void SetUp() override {
    ProjectorSession::SetUp();
    ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
  }

  std::vector<double> get(const std::string& plug) {
    std::string error;
    auto values = host.getAttr(plug, &error);
    EXPECT_TRUE(values) << error;
    return values.value_or(std::vector<double>{});
  }

  // The node's outputs as one list: outColor, outTransparency, outAlpha.
  std::vector<double> outputs() {
    std::vector<double> all = get("n.outColor");
    for (double value : get("n.outTransparency")) all.push_back(value);
    all.push_back(get("n.outAlpha").at(0));
    return all;
  }

  // What the node shows for a pixel: colour, 1 - alpha three times, alpha.
  static std::vector<double> shown(const std::array<uint8_t, 4>& pixel) {
    std::vector<double> expected;
    for (int i = 0; i < 3; ++i) expected.push_back(static_cast<float>(pixel[i] / 255.0));
    const float alpha = static_cast<float>(pixel[3] / 255.0);
    for (int i = 0; i < 3; ++i) expected.push_back(1.0f - alpha);
    expected.push_back(alpha);
    return expected;
  }

  // Stored values, without evaluating anything.
  std::vector<double> stored(const std::string& attribute) {
    for (const auto& state : host.attributes("n")) {
      if (state.longName == attribute) return state.value;
    }
    ADD_FAILURE() << "no attribute " << attribute;
    return {};
  }

  void expectCameraValues(float verticalFov, float horizontalFov, int fit) {
    EXPECT_EQ(get("n.resRatio"), std::vector<double>{verticalFov});
    const float degrees = static_cast<float>(static_cast<double>(horizontalFov) * 180.0 / M_PI);
    EXPECT_FLOAT_EQ(static_cast<float>(get("n.angleOfView").at(0)), degrees);
    EXPECT_EQ(get("n.fitType"), std::vector<double>{double(fit)});
  }
};

TEST_F(ProjectorNodeTest, RegistersAsAViewportTexture) {
  EXPECT_EQ(host.pluginApiVersion("qv_vpProjector"), "201500");
  EXPECT_EQ(host.pluginVendor("qv_vpProjector"),
            (std::pair<std::string, std::string>{"Qavel Works", "3.0"}));
  const auto type = host.nodeType("qv_vpProjector");
  ASSERT_TRUE(type);
  EXPECT_EQ(type->id, MTypeId(0x03131992));
  EXPECT_EQ(type->classification, "texture/2d:drawdb/shader/texture/2d/qv_vpProjector");
  MPxNode* node = MFnDependencyNode(host.node("n")).userNode();
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(host.isMPSafe("n"));
}

TEST_F(ProjectorNodeTest, AttributesInAddOrderWithTheirDefaultsAndDependencies) {
  enum Kind { kString, kFloat2, kFloat, kInt, kBool, kColor, kMatrix };
  struct Row {
    const char* longName;
    const char* shortName;
    Kind kind;
    std::vector<double> defaults;
    bool hidden;
    bool input;
  };
  const std::vector<Row> rows = {
      {"fileName", "f", kString, {}, false, true},
      {"uvCoord", "uv", kFloat2, {0, 0}, true, true},
      {"resRatio", "rr", kFloat, {0}, true, true},
      {"fitType", "ft", kInt, {0}, true, true},
      {"mapType", "mt", kInt, {0}, false, true},
      {"r", "r", kBool, {1}, false, true},
      {"g", "g", kBool, {1}, false, true},
      {"b", "b", kBool, {1}, false, true},
      {"a", "a", kBool, {1}, false, true},
      {"passThrough", "pt", kBool, {0}, false, true},
      {"invert", "in", kBool, {0}, false, true},
      {"solidAlpha", "sa", kBool, {0}, false, true},
      {"premultiply", "pr", kBool, {0}, false, true},
      {"texWidth", "tw", kInt, {0}, false, true},
      {"texHeight", "th", kInt, {0}, false, true},
      {"colorOffset", "co", kColor, {0, 0, 0}, false, true},
      {"focalLength", "fl", kFloat, {0}, false, true},
      {"angleOfView", "av", kFloat, {0}, false, true},
      {"hAperture", "ha", kFloat, {0}, false, true},
      {"vAperture", "va", kFloat, {0}, false, true},
      {"flipU", "fu", kBool, {0}, false, true},
      {"flipV", "fv", kBool, {0}, false, true},
      {"placementMatrix", "pm", kMatrix, {}, false, true},
      {"outColor", "oc", kColor, {}, false, false},
      {"outTransparency", "ot", kColor, {}, false, false},
      {"outAlpha", "oa", kFloat, {}, false, false},
  };
  const MFnNumericData::Type units[] = {MFnNumericData::kInvalid, MFnNumericData::k2Float,
                                        MFnNumericData::kFloat,   MFnNumericData::kInt,
                                        MFnNumericData::kBoolean, MFnNumericData::k3Float};
  MFnDependencyNode fn(host.node("n"));
  // The visibility tests follow; they have their own test.
  ASSERT_EQ(fn.attributeCount(), rows.size() + 11);
  for (unsigned int i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.longName);
    const MObject object = fn.attribute(i);
    const MFnAttribute attribute(object);
    EXPECT_EQ(attribute.name(), row.longName);
    EXPECT_EQ(attribute.shortName(), row.shortName);
    EXPECT_EQ(attribute.isHidden(), row.hidden);
    EXPECT_EQ(attribute.isKeyable(), row.input);
    EXPECT_EQ(attribute.isStorable(), row.input);
    EXPECT_TRUE(attribute.isReadable());
    EXPECT_EQ(attribute.isWritable(), row.input);
    if (row.kind == kString) {
      EXPECT_EQ(MFnTypedAttribute(object).attrType(), MFnData::kString);
      EXPECT_TRUE(attribute.isUsedAsFilename());
      EXPECT_EQ(host.getStringAttr("n.fileName"), "");
    } else if (row.kind == kMatrix) {
      EXPECT_TRUE(object.hasFn(MFn::kMatrixAttribute));
      const std::vector<double> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
      EXPECT_EQ(get("n.placementMatrix"), identity);
    } else {
      EXPECT_EQ(MFnNumericAttribute(object).unitType(), units[row.kind]);
      EXPECT_EQ(attribute.isUsedAsColor(), row.kind == kColor);
      if (row.input) {
        EXPECT_EQ(get(std::string("n.") + row.longName), row.defaults);
      }
    }
  }
  const std::pair<const char*, const char*> children[] = {{"u", "uCoord"},
                                                          {"v", "vCoord"},
                                                          {"cor", "colorOffsetR"},
                                                          {"cog", "colorOffsetG"},
                                                          {"cob", "colorOffsetB"}};
  for (const auto& [shortName, longName] : children) {
    EXPECT_EQ(MFnAttribute(fn.attribute(shortName)).name(), longName);
  }

  // Every input dirties all three outputs.
  for (const Row& row : rows) {
    if (!row.input) continue;
    SCOPED_TRACE(row.longName);
    outputs();
    ASSERT_FALSE(host.isDirty("n.outColor"));
    const std::string plug = std::string("n.") + row.longName;
    if (row.kind == kString) {
      ASSERT_TRUE(host.setAttr(plug, std::string("elsewhere.png")));
    } else if (row.kind == kMatrix) {
      MMatrix moved;
      moved(3, 0) = 2.0;
      ASSERT_TRUE(host.setAttr(plug, moved));
    } else {
      std::vector<double> changed = row.defaults;
      for (double& value : changed) value = value == 0.0 ? 1.0 : 0.0;
      ASSERT_TRUE(host.setAttr(plug, changed));
    }
    EXPECT_TRUE(host.isDirty("n.outColor"));
    EXPECT_TRUE(host.isDirty("n.outTransparency"));
    EXPECT_TRUE(host.isDirty("n.outAlpha"));
  }
}

// After the projector's own attributes, the visibility node's tests under
// its names and defaults (every test off), then the viewport's occlusion
// settings. Only what the depth map shows dirties its number.
TEST_F(ProjectorNodeTest, VisibilityTestsComeAfterUnderTheVisibilityNodesNamesAllOff) {
  struct Row {
    const char* longName;
    const char* shortName;
    double value;  // the default; NaN for no numeric value
    bool affectsMap;
  };
  const double none = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Row> rows = {{"useFacingRatio", "ufr", 0, false},
                                 {"angleThreshold", "ang", 90, false},
                                 {"distanceThreshold", "dist", -1, false},
                                 {"useShadowOcclusion", "occl", 0, true},
                                 {"dilate", "dlt", 0, false},
                                 {"softEdge", "se", 0.5, false},
                                 {"power", "pwr", 2, false},
                                 {"occluders", "ocl", none, true},
                                 {"occlusionBias", "obi", 0.01, false},
                                 {"occlusionResolution", "ores", 1024, true},
                                 {"occlusionMapId", "omi", 0, false}};
  MFnDependencyNode fn(host.node("n"));
  ASSERT_EQ(fn.attributeCount(), 26 + rows.size());
  for (unsigned int i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].longName);
    const MObject object = fn.attribute(26 + i);
    const MFnAttribute attribute(object);
    EXPECT_EQ(attribute.name(), rows[i].longName);
    EXPECT_EQ(attribute.shortName(), rows[i].shortName);
    if (!std::isnan(rows[i].value)) {
      EXPECT_EQ(stored(rows[i].longName), std::vector<double>{rows[i].value});
    }
  }
  const MFnTypedAttribute occluders(fn.attribute("occluders"));
  EXPECT_EQ(occluders.attrType(), MFnData::kMesh);
  EXPECT_TRUE(occluders.isArray());
  EXPECT_FALSE(occluders.isStorable());
  const MFnAttribute id(fn.attribute("occlusionMapId"));
  EXPECT_TRUE(id.isHidden());
  EXPECT_FALSE(id.isWritable());

  // Without occlusion there is no map to number.
  EXPECT_EQ(get("n.occlusionMapId"), std::vector<double>{0});
  outputs();
  for (const Row& row : rows) {
    if (std::isnan(row.value) || std::string(row.longName) == "occlusionMapId") continue;
    SCOPED_TRACE(row.longName);
    get("n.occlusionMapId");
    ASSERT_FALSE(host.isDirty("n.occlusionMapId"));
    ASSERT_TRUE(host.setAttr(std::string("n.") + row.longName, row.value + 1.0));
    EXPECT_EQ(host.isDirty("n.occlusionMapId"), row.affectsMap);
    EXPECT_FALSE(host.isDirty("n.outColor"));
  }
}

TEST_F(ProjectorNodeTest, WithoutAFileShowsOpaqueBlackAndHonoursTheAlphaEnable) {
  EXPECT_EQ(outputs(), (std::vector<double>{0, 0, 0, 0, 0, 0, 1}));
  ASSERT_TRUE(host.setAttr("n.fileName", std::string("/no/such/picture.png")));
  EXPECT_EQ(outputs(), (std::vector<double>{0, 0, 0, 0, 0, 0, 1}));
  ASSERT_TRUE(host.setAttr("n.a", 0.0));
  EXPECT_EQ(outputs(), (std::vector<double>{0, 0, 0, 1, 1, 1, 0}));
  EXPECT_EQ(get("n.texWidth"), std::vector<double>{0});
}

TEST_F(ProjectorNodeTest, LooksUpTheNearestPixelByClampedUv) {
  const Picture picture = distinctPicture(3, 2, 0);
  ASSERT_TRUE(host.setAttr("n.fileName", writePng(picture, "lookup.png")));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double u, v;
    int row, column;  // MImage row, from the bottom
  };
  for (const Case& c : {Case{1, 1, 1, 2}, Case{-0.5, 2, 1, 0}, Case{0, 0, 0, 0},
                        Case{0.74, 0.99, 0, 1}, Case{0.75, 0.2, 0, 1}, Case{nan, nan, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << "uv " << c.u << " " << c.v);
    ASSERT_TRUE(host.setAttr("n.uvCoord", std::vector<double>{c.u, c.v}));
    EXPECT_EQ(outputs(), shown(picture.atImageRow(c.row, c.column)));
  }
  EXPECT_EQ(get("n.texWidth"), std::vector<double>{3});
  EXPECT_EQ(get("n.texHeight"), std::vector<double>{2});

  ASSERT_TRUE(host.setAttr("n.uvCoord", std::vector<double>{1, 1}));
  ASSERT_TRUE(host.setAttr("n.g", 0.0));
  ASSERT_TRUE(host.setAttr("n.a", 0.0));
  std::vector<double> expected = shown(picture.atImageRow(1, 2));
  expected[1] = 0.0;
  expected[3] = expected[4] = expected[5] = 1.0;
  expected[6] = 0.0;
  EXPECT_EQ(outputs(), expected);
}

TEST_F(ProjectorNodeTest, OnePixelImageShowsItsPixelEverywhere) {
  const Picture picture = distinctPicture(1, 1, 1);
  ASSERT_TRUE(host.setAttr("n.fileName", writePng(picture, "single.png")));
  for (const auto& uv : {std::vector<double>{0, 0}, {1, 1}, {0.3, 0.8}, {-4, 9}}) {
    ASSERT_TRUE(host.setAttr("n.uvCoord", uv));
    EXPECT_EQ(outputs(), shown(picture.atImageRow(0, 0)));
  }
}

TEST_F(ProjectorNodeTest, KeepsTheImageUntilTheFileNameChanges) {
  const Picture first = distinctPicture(2, 2, 0);
  const Picture second = distinctPicture(3, 1, 1);
  const std::string path = writePng(first, "cached.png");
  ASSERT_TRUE(host.setAttr("n.fileName", path));
  EXPECT_EQ(outputs(), shown(first.atImageRow(0, 0)));

  // The file changes on disk, the name does not: the cached image stays.
  writePng(second, "cached.png");
  ASSERT_TRUE(host.setAttr("n.uvCoord", std::vector<double>{0.1, 0.1}));
  EXPECT_EQ(outputs(), shown(first.atImageRow(0, 0)));
  EXPECT_EQ(get("n.texWidth"), std::vector<double>{2});

  // Setting the name, even to the same file, drops the cache.
  ASSERT_TRUE(host.setAttr("n.fileName", path));
  EXPECT_EQ(outputs(), shown(second.atImageRow(0, 0)));
  EXPECT_EQ(get("n.texWidth"), std::vector<double>{3});
  EXPECT_EQ(get("n.texHeight"), std::vector<double>{1});

  ASSERT_TRUE(host.setAttr("n.fileName", writePng(first, "other.png")));
  ASSERT_TRUE(host.setAttr("n.uvCoord", std::vector<double>{1, 1}));
  EXPECT_EQ(outputs(), shown(first.atImageRow(1, 1)));
  EXPECT_EQ(get("n.texWidth"), std::vector<double>{2});
}

TEST_F(ProjectorNodeTest, WithoutACameraUsesOneRadianAndFillFit) {
  outputs();
  EXPECT_EQ(get("n.resRatio"), std::vector<double>{1.0});
  EXPECT_EQ(get("n.angleOfView"), std::vector<double>{57.29578f});
  EXPECT_EQ(get("n.fitType"), std::vector<double>{0});
}

TEST_F(ProjectorNodeTest, CameraShapeGivesItsFieldsOfViewAndFilmFitCode) {
  ASSERT_EQ(host.createNode("transform", "cam"), "cam");
  ASSERT_EQ(host.createNode("camera", "camShape", "cam"), "camShape");
  ASSERT_TRUE(host.setAttr("camShape.horizontalFilmAperture", 1.5));
  ASSERT_TRUE(host.setAttr("camShape.verticalFilmAperture", 0.75));
  ASSERT_TRUE(host.setAttr("camShape.focalLength", 50.0));
  ASSERT_TRUE(host.connectAttr("camShape.worldMatrix", "n.placementMatrix"));
  const auto fov = [](double aperture) {
    return static_cast<float>(2.0 * std::atan(aperture * 25.4 / (2.0 * 50.0)));
  };
  // Maya's film fits, in MFnCamera::FilmFit order, and the code each gives.
  const std::pair<int, int> fits[] = {{0, 0}, {1, 2}, {2, 1}, {3, 1}};
  for (const auto& [filmFit, code] : fits) {
    SCOPED_TRACE(filmFit);
    ASSERT_TRUE(host.setAttr("camShape.filmFit", filmFit));
    ASSERT_EQ(host.compute("n.outColor"), MS::kSuccess);
    expectCameraValues(fov(0.75), fov(1.5), code);
  }
}

TEST_F(ProjectorNodeTest, CameraTransformGivesTheFitButKeepsOneRadian) {
  ASSERT_EQ(host.createNode("transform", "cam"), "cam");
  ASSERT_EQ(host.createNode("camera", "camShape", "cam"), "camShape");
  ASSERT_TRUE(host.setAttr("camShape.filmFit", 1));
  ASSERT_TRUE(host.connectAttr("cam.worldMatrix", "n.placementMatrix"));
  outputs();
  expectCameraValues(1.0f, 1.0f, 2);

  // A transform without a camera below it is reported; compute goes on.
  ASSERT_EQ(host.createNode("transform", "empty"), "empty");
  ASSERT_TRUE(host.disconnectAttr("cam.worldMatrix", "n.placementMatrix"));
  ASSERT_TRUE(host.connectAttr("empty.worldMatrix", "n.placementMatrix"));
  CaptureStderr();
  EXPECT_EQ(outputs(), (std::vector<double>{0, 0, 0, 0, 0, 0, 1}));
  const std::string report = GetCapturedStderr();
  EXPECT_EQ(report.rfind("\nAPI error detected in ", 0), 0u) << report;
  EXPECT_NE(report.find("qv_vpProjector.cpp at line "), std::string::npos) << report;
  expectCameraValues(1.0f, 1.0f, 0);
}

TEST_F(ProjectorNodeTest, NonCameraShapeFailsComputeAndWritesNothing) {
  ASSERT_EQ(host.createNode("transform", "geo"), "geo");
  ASSERT_EQ(host.createNode("mesh", "geoShape", "geo"), "geoShape");
  ASSERT_TRUE(host.connectAttr("geoShape.worldMatrix", "n.placementMatrix"));
  CaptureStderr();
  EXPECT_EQ(host.compute("n.outColor"), MS::kInvalidParameter);
  const std::string report = GetCapturedStderr();
  size_t reports = 0;
  for (size_t at = report.find("API error detected in "); at != std::string::npos;
       at = report.find("API error detected in ", at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 2u) << report;
  EXPECT_EQ(stored("outAlpha"), std::vector<double>{0});
  EXPECT_EQ(stored("resRatio"), std::vector<double>{0});
  EXPECT_EQ(stored("fitType"), std::vector<double>{0});
}

TEST_F(ProjectorNodeTest, ComputesOnlyOutColorItsChildrenAndOutAlpha) {
  EXPECT_EQ(host.compute("n.outTransparency"), MS::kUnknownParameter);
  EXPECT_EQ(host.compute("n.outTransparencyR"), MS::kUnknownParameter);
  EXPECT_EQ(host.compute("n.texWidth"), MS::kUnknownParameter);
  EXPECT_EQ(stored("outAlpha"), std::vector<double>{0});
  // Alternating alpha shows that each accepted request writes all outputs.
  bool alpha = false;
  for (const char* plug : {"n.outColor", "n.outColorG", "n.outAlpha"}) {
    ASSERT_TRUE(host.setAttr("n.a", alpha ? 1.0 : 0.0));
    EXPECT_EQ(host.compute(plug), MS::kSuccess) << plug;
    const double transparency = alpha ? 0.0 : 1.0;
    EXPECT_EQ(stored("outAlpha"), std::vector<double>{1.0 - transparency}) << plug;
    EXPECT_EQ(stored("outTransparency"),
              (std::vector<double>{transparency, transparency, transparency}))
        << plug;
    alpha = !alpha;
  }
}

}  // namespace
}  // namespace qv::vpProjector::test
