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
    sampler2D textureSampler, vec3 Nw, bool useFacingRatio, float angleThreshold,
    float distanceThreshold, bool useShadowOcclusion, float dilate, float softEdge, float power,
    float occlusionBias, vec3 depthMapShape, sampler2D depthSampler)
{
    // Local, so that no other fragment in the same shader can clash with them.
    const float PI = 3.14159265358979323846264;
    const float TWO_PI = 6.28318530718;

    vec4 color = vec4(0.0, 0.0, 0.0, 0.0);
    uv = uv - floor(uv);
    uv.y = 1.0 - uv.y;

    vec2 coords = uv;
    bool inFront = true;
    // Where the camera projection puts the point, unflipped (the depth map's
    // place for it), and the tangents of the camera's half fields of view.
    vec2 viewCoords = vec2(0.0, 0.0);
    vec2 tanHalf = vec2(1.0, 1.0);
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
        viewCoords = vec2(q.x / q.w, 1.0 - q.y / q.w);
        tanHalf = vec2(tan(fov * 0.5), tan(resRatio * 0.5));
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
            if (mapType == 2) {
                // The render's visibility tests. The way to the camera in world
                // space is the camera-space point taken back through the
                // placement's inverse, whatever its scale or shear: the rows of
                // the inverse are the crossed columns over the determinant.
                float seen = 1.0;
                vec3 p = qv_vpProjectorMul(placementMatrix, vec4(Pw, 1.0)).xyz;
                vec3 c0 = qv_vpProjectorMul(placementMatrix, vec4(1.0, 0.0, 0.0, 0.0)).xyz;
                vec3 c1 = qv_vpProjectorMul(placementMatrix, vec4(0.0, 1.0, 0.0, 0.0)).xyz;
                vec3 c2 = qv_vpProjectorMul(placementMatrix, vec4(0.0, 0.0, 1.0, 0.0)).xyz;
                vec3 toCamera = -vec3(dot(cross(c1, c2), p), dot(cross(c2, c0), p),
                    dot(cross(c0, c1), p)) / dot(c0, cross(c1, c2));
                float away = length(toCamera);
                if (useFacingRatio &&
                    degrees(acos(clamp(dot(normalize(Nw), toCamera / away), -1.0, 1.0))) > angleThreshold) {
                    seen = 0.0;
                }
                // -1 switches the distance test off; any other value cuts beyond it.
                if (distanceThreshold != -1.0 && away > distanceThreshold) seen = 0.0;
                if (seen > 0.0 && useShadowOcclusion && depthMapShape.x > 0.0) {
                    // Hidden where the map (depthMapShape: its width, height and
                    // nearest depth) holds something nearer than the point by more
                    // than the bias, a share of the point's depth. The render's
                    // jittered rays run from the point to a disc of radius dilate
                    // about the camera; the ray to an offset w of that disc passes
                    // depth d at dilate * w * (1 / d - 1 / depth) from the point's
                    // line of sight, in the view's tangents, so a surface at depth
                    // d seen at an offset o blocks one of them when |o| is within
                    // that reach. The map's nearest depth bounds the reach, over
                    // which a fixed disc of 24 offsets looks: at radii
                    // (k + 0.5) / 24, a golden angle apart. Look 0 is the line of
                    // sight itself.
                    float depth = -p.z;
                    float tolerance = occlusionBias * depth;
                    float reach = dilate * (1.0 / depthMapShape.z - 1.0 / depth);
                    int looks = dilate > 0.0 && reach > 0.0 ? 25 : 1;
                    float blocked = 0.0;
                    for (int i = 0; i < looks && seen > 0.0; ++i) {
                        float angle = float(i - 1) * 2.39996323;
                        vec2 offset = vec2(cos(angle), sin(angle)) * ((float(i) - 0.5) / 24.0 * reach);
                        if (i == 0) offset = vec2(0.0, 0.0);
                        vec2 at = viewCoords + vec2(0.5 * offset.x / tanHalf.x, -0.5 * offset.y / tanHalf.y);
                        float nearer = textureLod(depthSampler, at, 0.0).r;
                        if (depth - nearer > tolerance && length(offset) <= dilate * (1.0 / nearer - 1.0 / depth)) {
                            if (i == 0) seen = 0.0;
                            blocked = blocked + 1.0;
                        }
                    }
                    // Without a soft edge any blocked ray hides the point; with
                    // one, the blocked share over softEdge hides it gradually,
                    // raised to power.
                    if (seen > 0.0 && looks > 1) {
                        if (softEdge <= 0.0) {
                            if (blocked > 0.0) seen = 0.0;
                        } else {
                            seen = seen * (1.0 - min(blocked / (24.0 * softEdge), 1.0));
                            seen = seen > 0.0 ? pow(seen, power) : 0.0;
                        }
                    }
                }
                // What the camera does not see shows what lies beneath.
                if (premultiply) color = color * seen;
                else color.a = color.a * seen;
            }
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
