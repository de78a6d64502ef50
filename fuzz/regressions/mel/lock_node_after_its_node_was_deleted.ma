//Maya ASCII 2016 scene
//Name: gone.ma
createNode transform -n "gone";
delete gone;
lockNode -l 1 ;
rename -uid "BD9DAC76-3D44-741A-6721-27B4ACFEF13D";
addAttr -ci true -sn "nts" -ln "notes" -dt "string";
setAttr ".msg" 1;
// End of gone.ma
