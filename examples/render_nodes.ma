//Maya ASCII 2015 scene
//Name: render_nodes.ma
// The two qv render nodes, the veil's matte feeding the weave's first matte.
requires maya "2015";
requires "qv_veilVRay" "1.0";
requires "qv_shotWeaveVRay" "1.0";
currentUnit -l centimeter -a degree -t film;
fileInfo "application" "maya";
createNode qv_veilVRay -n "veil";
	setAttr ".clr" -type "float3" 1 0.5 0.25;
	setAttr ".smp" 32;
createNode qv_shotWeaveVRay -n "weave";
connectAttr "veil.om" "weave.ma";
// End of render_nodes.ma
