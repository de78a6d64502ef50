struct qv_vpStackFragmentOutput
{
    float3 outColor;
    float3 outTransparency;
    float outAlpha;
};
