struct qv_vpStackFragmentOutput
{
    vec3 outColor;
    vec3 outTransparency;
    float outAlpha;
};
