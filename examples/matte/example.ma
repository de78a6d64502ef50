//Maya ASCII 2015 scene
//Name: example.ma
// The bundled example, written by qvexample from the same description as
// example.vrscene and example.mi, as Viewport 2.0 shows it: the painting
// projected through the projection camera, stacked over the fill.
requires maya "2015";
requires "qv_vpProjector" "3.0";
requires "qv_vpStack" "3.0";
currentUnit -l centimeter -a degree -t film;
createNode transform -n "renderCam";
	setAttr ".t" -type "double3" 13 7 17;
	setAttr ".r" -type "double3" -11.5745676 34.9920202 0;
createNode camera -n "renderCamShape" -p "renderCam";
	setAttr ".fl" 35;
	setAttr ".hfa" 1.4346336;
	setAttr ".vfa" 0.806981402;
createNode transform -n "projectionCam";
	setAttr ".t" -type "double3" 0 3.5 14;
	setAttr ".r" -type "double3" -3.17983012 -0 0;
createNode camera -n "projectionCamShape" -p "projectionCam";
	setAttr ".fl" 35;
	setAttr ".hfa" 1.40420399;
	setAttr ".vfa" 0.789864747;
createNode qv_vpProjector -n "painting";
	setAttr ".f" -type "string" "painting.png";
	setAttr ".mt" 2;
	setAttr ".ufr" yes;
	setAttr ".ang" 80;
	setAttr ".occl" yes;
	setAttr ".dlt" 0.15;
	setAttr ".se" 0;
createNode qv_vpStack -n "stack";
	setAttr ".co1" -type "float3" 0.35 0.38 0.45;
	setAttr ".m1" 1;
	setAttr ".pr0" yes;
connectAttr "projectionCamShape.worldInverseMatrix" "painting.pm";
connectAttr "painting.outColor" "stack.color0";
connectAttr "painting.outAlpha" "stack.mask0";
createNode transform -n "ground";
createNode mesh -n "groundShape" -p "ground";
	setAttr ".objFile" -type "string" "ground.obj";
connectAttr "stack.outColor" "groundShape.surfaceColor";
connectAttr "groundShape.w" "painting.ocl" -na;
createNode transform -n "hall";
createNode mesh -n "hallShape" -p "hall";
	setAttr ".objFile" -type "string" "hall.obj";
connectAttr "stack.outColor" "hallShape.surfaceColor";
connectAttr "hallShape.w" "painting.ocl" -na;
createNode transform -n "shed";
createNode mesh -n "shedShape" -p "shed";
	setAttr ".objFile" -type "string" "shed.obj";
connectAttr "stack.outColor" "shedShape.surfaceColor";
connectAttr "shedShape.w" "painting.ocl" -na;
createNode transform -n "tower";
createNode mesh -n "towerShape" -p "tower";
	setAttr ".objFile" -type "string" "tower.obj";
connectAttr "stack.outColor" "towerShape.surfaceColor";
connectAttr "towerShape.w" "painting.ocl" -na;
createNode transform -n "pole";
createNode mesh -n "poleShape" -p "pole";
	setAttr ".objFile" -type "string" "pole.obj";
connectAttr "stack.outColor" "poleShape.surfaceColor";
connectAttr "poleShape.w" "painting.ocl" -na;
// End of example.ma
