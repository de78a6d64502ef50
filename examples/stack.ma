//Maya ASCII 2015 scene
//Name: stack.ma
// A qv_vpStack node: red at half coverage over a fully covering blue layer,
// which hides a green layer beneath it until that layer is soloed.
requires maya "2015";
requires "qv_vpStack" "3.0";
currentUnit -l centimeter -a degree -t film;
fileInfo "application" "maya";
createNode qv_vpStack -n "stack";
	setAttr ".co0" -type "float3" 1 0 0;
	setAttr ".m0" 0.5;
	setAttr ".pr0" yes;
	setAttr ".co1" -type "float3" 0 0 1;
	setAttr ".m1" 1;
	setAttr ".pr1" yes;
	setAttr ".co2" -type "float3" 0 1 0;
	setAttr ".m2" 1.5;
// End of stack.ma
