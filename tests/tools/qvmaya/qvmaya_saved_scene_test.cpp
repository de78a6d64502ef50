// Scenes in the form Maya saves them, written here: what the stand-in does
// not model is kept as read and saved back, and a saved scene opens again to
// the same file.
#include "command_test.h"
#include "qvmaya.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

namespace qv::qvmaya {
namespace {

using qv::test::contains;

// Every kind of statement a Maya 2016 file holds, around nodes of types
// modelled here, of built-in types that are not, and of a plug-in that is
// not installed; two shapes share a name under different transforms.
const char* const kSavedScene = R"(//Maya ASCII 2016 scene
//Name: props.ma
//Codeset: UTF-8
file -rdi 1 -ns "rig" -rfn "rigRN" -op "v=0;" -typ "mayaAscii" "assets/rig.ma";
file -r -ns "rig" -dr 1 -rfn "rigRN" -op "v=0;" -typ "mayaAscii" "assets/rig.ma";
requires maya "2016";
requires -nodeType "ilrOptionsNode" -nodeType "ilrBakeLayer"
		 "Turtle" "2016.0.0";
currentUnit -l centimeter -a degree -t film;
fileInfo "application" "maya";
fileInfo "product" "Maya 2016";
createNode transform -s -n "persp";
	rename -uid "BD9DAC76-3D44-741A-6721-27B4ACFEF13D";
	setAttr ".v" no;
	setAttr ".t" -type "double3" 7.5 1.25 21 ;
createNode camera -s -n "perspShape" -p "persp";
	setAttr -k off ".v" no;
	setAttr ".fl" 34.999999999999986;
	setAttr ".imn" -type "string" "persp";
	setAttr ".hc" -type "string" "viewSet -p %camera";
createNode transform -n "box";
	addAttr -ci true -sn "nts" -ln "notes" -dt "string";
	setAttr ".rp" -type "double3" 0 0.5 0 ;
	setAttr ".nts" -type "string" "painted over";
createNode mesh -n "boxShape" -p "box";
	setAttr -k off ".v";
	setAttr -s 2 ".iog[0].og";
	setAttr ".iog[0].og[0].gcl" -type "componentList" 1 "f[0]";
	setAttr ".uvst[0].uvsn" -type "string" "map1";
	setAttr -s 4 ".uvst[0].uvsp[0:3]" -type "float2" 0 0 1 0 0 1 1 1;
	setAttr ".cuvs" -type "string" "map1";
	setAttr -s 4 ".vt[0:3]"  -1 -1 0 1 -1 0 -1 1 0 1 1 0;
	setAttr -s 4 ".ed[0:3]"  0 1 0 0 2 0 1 3 0 2 3 0;
	setAttr -ch 4 ".fc[0]" -type "polyFaces" 
		f 4 0 2 -4 -2
		mu 0 4 0 1 3 2;
createNode mesh -n "polySurfaceShape1" -p "box";
	setAttr ".io" yes;
createNode transform -n "lid" -p "box";
createNode mesh -n "polySurfaceShape1" -p "lid";
	setAttr ".io" yes;
	lockNode -l 1 ;
createNode polyPlane -n "polyPlane1";
	setAttr ".w" 2;
	setAttr ".sw" 1;
createNode ilrOptionsNode -s -n "TurtleRenderOptions";
	rename -uid "2C1B4C74-4B4B-8D2E-2D4B-8AB4E3A0B6B3";
createNode lambert -n "red";
	setAttr ".c" -type "float3" 1 0 0 ;
createNode shadingEngine -n "redSG";
	setAttr ".ihi" 0;
	setAttr ".ro" yes;
createNode groupId -n "groupId1";
	setAttr ".ihi" 0;
createNode file -n "paint";
	setAttr ".ftn" -type "string" "sourceimages/paint.png";
createNode place2dTexture -n "place2dTexture1";
select -ne :time1;
	setAttr ".o" 1;
select -ne :initialShadingGroup;
	setAttr -s 2 ".dsm";
	setAttr ".ro" yes;
connectAttr "place2dTexture1.o" "paint.uv";
connectAttr "paint.oc" "red.c";
connectAttr "red.oc" "redSG.ss";
connectAttr "groupId1.id" "boxShape.iog.og[0].gid";
connectAttr "boxShape.iog.og[0]" "redSG.dsm" -na;
connectAttr "groupId1.msg" "redSG.gn" -na;
connectAttr "|box|polySurfaceShape1.o" "boxShape.i";
connectAttr "|box|lid|polySurfaceShape1.w" "lid.notes2";
relationship "link" ":lightLinker1" ":initialShadingGroup.message" ":defaultLightSet.message";
dataStructure -fmt "raw" -as "name=notes:string=value";
connectAttr "boxShape.iog" ":initialShadingGroup.dsm" -na;
// End of props.ma
)";

TEST(QvmayaSavedScene, KeepsWhatItDoesNotModelAndSavesItBackAsRead) {
  test::ScratchDir scratch("qvmaya_saved");
  // MEL strings take '/' on every platform: '\' escapes.
  const std::string scene =
      std::filesystem::path(scratch.write("props.ma", kSavedScene)).generic_string();
  const std::string first = (scratch.path() / "first.ma").generic_string();
  const std::string second = (scratch.path() / "second.ma").generic_string();
  const test::CommandResult opened = test::runCommand(
      run, {"-"},
      "file -open \"" + scene +
          "\";\ngetAttr paint.ftn;\ngetAttr box.nts;\n"
          "getAttr \"|box|lid|polySurfaceShape1.io\";\ngetAttr red.oc;\nfile -save \"" +
          first + "\";\nfile -open \"" + first + "\";\nfile -save \"" + second + "\";\n");
  // What Maya itself would warn of, opening the file and then the saved one,
  // whose types are known by then.
  EXPECT_EQ(opened.status, 0);
  const std::string at = "// Warning: " + scene + " line ";
  const std::string reference = ": file: the reference to assets/rig.ma is kept but not loaded";
  const std::string turtle = ": requires: plug-in Turtle not found in " +
                             std::string(QV_PLUGIN_DIR) + "; its nodes are kept as unknown nodes";
  const auto unknown = [&](int line, const char* type) {
    return at + std::to_string(line) + ": Unrecognized node type '" + type +
           "'; preserving node information during this session.";
  };
  const std::string again = "// Warning: " + first + " line ";
  EXPECT_EQ(test::lines(opened.err),
            (std::vector<std::string>{at + "4" + reference, at + "5" + reference, at + "7" + turtle,
                                      unknown(46, "ilrOptionsNode"), unknown(55, "file"),
                                      unknown(57, "place2dTexture"), again + "5" + reference,
                                      again + "6" + reference, again + "7" + turtle}))
      << opened.err;
  EXPECT_EQ(opened.out, "sourceimages/paint.png\npainted over\nyes\n1 0 0\n");

  const std::string saved = test::readFile(first);
  for (const char* part : {
           "file -rdi 1 -ns \"rig\" -rfn \"rigRN\" -op \"v=0;\" -typ \"mayaAscii\" "
           "\"assets/rig.ma\";\n",
           "requires -nodeType \"ilrOptionsNode\" -nodeType \"ilrBakeLayer\" \"Turtle\" "
           "\"2016.0.0\";\n",
           "createNode transform -s -n \"persp\";\n"
           "\trename -uid \"BD9DAC76-3D44-741A-6721-27B4ACFEF13D\";\n"
           "\tsetAttr \".v\" 0;\n",
           "\tsetAttr -k off \".v\" no;\n",
           "createNode transform -n \"box\";\n"
           "\taddAttr -ci true -sn \"nts\" -ln \"notes\" -dt \"string\";\n",
           "\tsetAttr -ch 4 \".fc[0]\" -type \"polyFaces\" f 4 0 2 -4 -2 mu 0 4 0 1 3 2;\n",
           "createNode mesh -n \"polySurfaceShape1\" -p \"lid\";\n"
           "\tsetAttr \".io\" yes;\n\tlockNode -l 1;\n",
           "createNode ilrOptionsNode -s -n \"TurtleRenderOptions\";\n",
           "select -ne :time1;\n\tsetAttr \".o\" 1;\n",
           "connectAttr \"boxShape.iog.og[0]\" \"redSG.dsm\" -na;\n",
           "connectAttr \"box|polySurfaceShape1.o\" \"boxShape.i\";\n",
           "connectAttr \"lid|polySurfaceShape1.w\" \"lid.notes2\";\n",
           "connectAttr \"red.oc\" \"redSG.ss\";\n",
           "connectAttr \"boxShape.iog\" \":initialShadingGroup.dsm\" -na;\n",
           "relationship \"link\" \":lightLinker1\" \":initialShadingGroup.message\" "
           "\":defaultLightSet.message\";\n",
       }) {
    EXPECT_TRUE(contains(saved, part)) << part << "\nnot in\n" << saved;
  }
  // A saved scene opens again to the same scene: only its name differs.
  const std::string resaved = test::readFile(second);
  const auto rename = [](std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  EXPECT_EQ(rename(resaved, "second.ma", "first.ma"), saved);
}

}  // namespace
}  // namespace qv::qvmaya
