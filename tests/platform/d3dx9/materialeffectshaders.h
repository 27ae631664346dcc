// The six material-effect pixel shaders as assembler text: fixtures shared by the assembler and drawing tests.
#pragma once

namespace fixtures
{

// The six material-effect pixel shaders (t0-t2 texture samples, v0 diffuse, c0 the environment coefficient).
inline const char* const kMaterialEffectShaders[] = {
    // A: bump, v0 * (t0 * (1 - t0.a) + t1 * t1.a)
    "ps_1_1\ntex t0\ntex t1\nmul r0, t0, 1-t0.a\nmad r0, t1, t1.a, r0\nmul r0, r0, v0\n",
    // B: environment over base, rgb t0 * v0 + t1 * t1.a * c0, alpha t0.a * v0.a
    "ps_1_1\ntex t0\ntex t1\nmul r1, t1, t1.a\nmul r0, t0, v0\nmad r0.rgb, r1, c0, r0\n",
    // C: environment without base, rgb v0 + t0 * t0.a * c0, alpha v0.a
    "ps_1_1\ntex t0\nmul r1, t0, t0.a\nmad r0.rgb, r1, c0, v0\n+mov r0.a, v0.a\n",
    // D: A + t2 * t2.a * c0
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0, t0, 1-t0.a\nmad r0, t1, t1.a, r0\nmul r0, r0, v0\n"
    "mul r1, t2, t2.a\nmad r0.rgb, r1, c0, r0\n",
    // E: A's colour with alpha a = t0.a * v0.a + t1.a * v0.a, plus t2 * t2.a * a * c0
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mul r0.a, t0.a, v0.a\nmad r0.rgb, t1, t1.a, r0\n"
    "+mad r0.a, t1.a, v0.a, r0.a\nmul r0.rgb, r0, v0\nmul r1, t2, t2.a\nmul r1, r1, r0.a\nmad r0.rgb, r1, c0, r0\n",
    // F: as E with t2 * a * c0
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mul r0.a, t0.a, v0.a\nmad r0.rgb, t1, t1.a, r0\n"
    "+mad r0.a, t1.a, v0.a, r0.a\nmul r0.rgb, r0, v0\nmul r1, t2, r0.a\nmad r0.rgb, r1, c0, r0\n",
};

} // namespace fixtures
