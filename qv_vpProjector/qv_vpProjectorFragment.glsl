// Colour, transparency and alpha of the image for one surface point, by UV
// (mapType 0), by a spherical projection about the placement origin (1) or
// projected through the placement camera (2).
// Maya's OpenGL Core Profile viewport hands a GLSL fragment a texture2
// property and the sampler after it together, as one sampler2D, so fileMap
// and textureSampler make one parameter here.
// The arithmetic is the HLSL's, operation for operation. A matrix here is
// the HLSL's matrix: GLSL's constructor takes columns, so the constant ones
// are built from the HLSL's rows and transposed, and HLSL's mul(m, v) is
// qv_vpProjectorMul, each row of m dotted with v; GLSL's m * v sums the
// columns instead, which rounds differently.
vec4 qv_vpProjectorMul(mat4 m, vec4 v)
{
    mat4 rows = transpose(m);
    return vec4(dot(rows[0], v), dot(rows[1], v), dot(rows[2], v), dot(rows[3], v));
}

qv_vpProjectorFragmentOutput qv_vpProjectorFragment(
    vec2 uv, int mapType, bool r, bool g, bool b, bool a, bool passThrough, bool invert,
    bool solidAlpha, bool premultiply, int texWidth, int texHeight, float resRatio, int fitType,
    vec3 colorOffset, float focalLength, float angleOfView, float hAperture, float vAperture,
    bool flipU, bool flipV, mat4 placementMatrix, vec3 Pm, vec3 Pw, mat4 world,
    sampler2D textureSampler)
{
    // Local, so that no other fragment in the same shader can clash with them.
    const float PI = 3.14159265358979323846264;
    const float TWO_PI = 6.28318530718;

    vec4 color = vec4(0.0, 0.0, 0.0, 0.0);
    uv = uv - floor(uv);
    uv.y = 1.0 - uv.y;

    vec2 coords = uv;
    bool inFront = true;
    if (mapType == 0) {
        if (flipU) coords.x = 1.0 - coords.x;
        if (flipV) coords.y = 1.0 - coords.y;
    } else if (mapType == 1) {
        vec4 p = normalize(qv_vpProjectorMul(placementMatrix, vec4(Pw, 1.0)));
        float longitude = atan(-p.x, -p.z);
        // Rounding can take the quotient a hair past 1 straight up or down,
        // where acos has no value.
        float latitude = acos(clamp(-p.y / length(p.xyz), -1.0, 1.0));
        float s = longitude / TWO_PI;
        float t = latitude / PI;
        // The spherical map flips the other way round from the UV map.
        if (flipU) t = 1.0 - t;
        if (flipV) s = 1.0 - s;
        coords = vec2(s, -t);
    } else if (mapType == 2) {
        const float nearClip = 0.01;
        const float farClip = 100000000.0;
        float fov = angleOfView * (PI / 180.0);
        mat4 projection = transpose(mat4(
            1.0 / tan(fov * 0.5), 0.0, 0.0, 0.0,
            0.0, 1.0 / tan(resRatio * 0.5), 0.0, 0.0,
            0.0, 0.0, -farClip / (farClip - nearClip), -farClip * nearClip / (farClip - nearClip),
            0.0, 0.0, -1.0, 0.0));
        mat4 bias = transpose(mat4(
            0.5, 0.0, 0.0, 0.5,
            0.0, 0.5, 0.0, 0.5,
            0.0, 0.0, 0.5, 0.5,
            0.0, 0.0, 0.0, 1.0));
        vec4 q = qv_vpProjectorMul(bias, qv_vpProjectorMul(projection, qv_vpProjectorMul(placementMatrix, vec4(Pw, 1.0))));
        coords = vec2(q.x / q.w, 1.0 - q.y / q.w);
        if (flipU) coords.y = 1.0 - coords.y;
        if (flipV) coords.x = 1.0 - coords.x;
        // The camera looks down its negative z axis.
        inFront = q.w > 0.0;
    }

    // Sampled whatever the branch, so that the texture's derivatives come
    // from uniform control flow; only known map types use the result.
    vec4 texel = texture(textureSampler, coords);
    if (mapType >= 0 && mapType <= 2) {
        if (inFront) {
            color = texel;
            if (!r) color.r = 0.0;
            if (!g) color.g = 0.0;
            if (!b) color.b = 0.0;
            if (!a) color.a = 0.0;
            if (premultiply) color = color * color.a;
        }
        if (invert) color = 1.0 - color;
    }

    if (solidAlpha) color.a = 1.0;
    if (passThrough) color = vec4(0.0, 0.0, 0.0, 0.0);

    qv_vpProjectorFragmentOutput result;
    result.outColor = color.rgb + colorOffset;
    result.outTransparency = vec3(1.0, 1.0, 1.0) - color.aaa;
    result.outAlpha = color.a;
    return result;
}
