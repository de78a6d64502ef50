//Maya ASCII 2015 scene
//Name: projector.ma
// A painting projected through a camera in Viewport 2.0: the camera shape
// feeds the projector's placementMatrix, so the projector takes that
// camera's fields of view and film fit. projector.png lies beside the scene.
requires maya "2015";
requires "qv_vpProjector" "3.0";
currentUnit -l centimeter -a degree -t film;
fileInfo "application" "maya";
createNode transform -n "projCam";
	setAttr ".t" -type "double3" 0 2 12;
	setAttr ".r" -type "double3" -8 0 0;
createNode camera -n "projCamShape" -p "projCam";
	setAttr ".hfa" 1.417;
	setAttr ".vfa" 0.945;
	setAttr ".fl" 50;
createNode qv_vpProjector -n "projector";
	setAttr ".f" -type "string" "projector.png";
	setAttr ".mt" 2;
	setAttr ".pr" yes;
connectAttr "projCamShape.wm" "projector.pm";
// End of projector.ma
