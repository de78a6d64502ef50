// The layer stack on the graphics card, in GLSL: the Cg and HLSL function
// statement for statement, arrays built with constructors, which GLSL has
// where the other two have initializer lists.
// Layer 0 lies on top; every layer is laid over the layers beneath it by its
// mask, clamped to [0, 1] first. The alpha is the clamped sum of the masks, and
// the highest soloed layer shows alone, with its own mask as alpha.
qv_vpStackFragmentOutput qv_vpStackFragment(
    vec3 color0, vec3 color1, vec3 color2, vec3 color3,
    vec3 color4, vec3 color5, vec3 color6, vec3 color7,
    vec3 color8, vec3 color9, vec3 color10, vec3 color11,
    vec3 color12, vec3 color13, vec3 color14, vec3 color15,
    float mask0, float mask1, float mask2, float mask3,
    float mask4, float mask5, float mask6, float mask7,
    float mask8, float mask9, float mask10, float mask11,
    float mask12, float mask13, float mask14, float mask15,
    bool premultiply0, bool premultiply1, bool premultiply2, bool premultiply3,
    bool premultiply4, bool premultiply5, bool premultiply6, bool premultiply7,
    bool premultiply8, bool premultiply9, bool premultiply10, bool premultiply11,
    bool premultiply12, bool premultiply13, bool premultiply14, bool premultiply15,
    bool solo0, bool solo1, bool solo2, bool solo3,
    bool solo4, bool solo5, bool solo6, bool solo7,
    bool solo8, bool solo9, bool solo10, bool solo11,
    bool solo12, bool solo13, bool solo14, bool solo15)
{
    vec3 colors[16] = vec3[16](
        color0, color1, color2, color3,
        color4, color5, color6, color7,
        color8, color9, color10, color11,
        color12, color13, color14, color15);
    float masks[16] = float[16](
        mask0, mask1, mask2, mask3,
        mask4, mask5, mask6, mask7,
        mask8, mask9, mask10, mask11,
        mask12, mask13, mask14, mask15);
    bool premultiplied[16] = bool[16](
        premultiply0, premultiply1, premultiply2, premultiply3,
        premultiply4, premultiply5, premultiply6, premultiply7,
        premultiply8, premultiply9, premultiply10, premultiply11,
        premultiply12, premultiply13, premultiply14, premultiply15);
    bool soloed[16] = bool[16](
        solo0, solo1, solo2, solo3,
        solo4, solo5, solo6, solo7,
        solo8, solo9, solo10, solo11,
        solo12, solo13, solo14, solo15);

    // Loop counters have names of their own: Cg keeps them in the function's scope.
    for (int i = 0; i < 16; ++i) {
        if (masks[i] > 1.0) masks[i] = 1.0;
        if (masks[i] < 0.0) masks[i] = 0.0;
        if (premultiplied[i]) colors[i] = colors[i] * masks[i];
    }

    vec3 color = colors[15];
    for (int j = 14; j >= 0; --j) {
        color = color * (1.0 - masks[j]);
        color = color + colors[j];
    }

    float mask = masks[15];
    for (int k = 14; k >= 0; --k) mask = mask + masks[k];
    if (mask > 1.0) mask = 1.0;
    if (mask < 0.0) mask = 0.0;

    for (int s = 0; s < 16; ++s) {
        if (soloed[s]) {
            color = colors[s];
            mask = masks[s];
        }
    }

    qv_vpStackFragmentOutput result;
    result.outColor = color;
    result.outTransparency = vec3(1.0 - mask, 1.0 - mask, 1.0 - mask);
    result.outAlpha = mask;
    return result;
}
