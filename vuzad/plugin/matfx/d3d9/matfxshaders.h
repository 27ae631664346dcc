// The six material-effect pixel shaders as version 1.1 assembler text (t0-t2 texture samples,
// v0 diffuse, c0 the environment coefficient in all four components). The plug-in assembles
// them when the engine starts; our Direct3D 9 layer's tests check them against their formulas.
#pragma once

enum MatFxShader : int
{
    kMatFxShaderNone = -1,
    kMatFxShaderBump = 0,          ///< A: v0 * (t0 * (1 - t0.a) + t1 * t1.a)
    kMatFxShaderEnv = 1,           ///< B: rgb t0 * v0 + t1 * t1.a * c0, alpha t0.a * v0.a
    kMatFxShaderEnvNoBase = 2,     ///< C: rgb v0 + t0 * t0.a * c0, alpha v0.a
    kMatFxShaderBumpEnv = 3,       ///< D: A + t2 * t2.a * c0
    kMatFxShaderBumpEnvAlpha = 4,  ///< E: A's colour, a = t0.a * v0.a + t1.a * v0.a, plus t2 * t2.a * a * c0
    kMatFxShaderBumpEnvOpaque = 5, ///< F: as E with t2 * a * c0
    kMatFxShaderCount = 6,
};

inline const char* const kMatFxPixelShaderText[kMatFxShaderCount] = {
    // A
    "ps_1_1\ntex t0\ntex t1\nmul r0, t0, 1-t0.a\nmad r0, t1, t1.a, r0\nmul r0, r0, v0\n",
    // B
    "ps_1_1\ntex t0\ntex t1\nmul r1, t1, t1.a\nmul r0, t0, v0\nmad r0.rgb, r1, c0, r0\n",
    // C
    "ps_1_1\ntex t0\nmul r1, t0, t0.a\nmad r0.rgb, r1, c0, v0\n+mov r0.a, v0.a\n",
    // D
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0, t0, 1-t0.a\nmad r0, t1, t1.a, r0\nmul r0, r0, v0\n"
    "mul r1, t2, t2.a\nmad r0.rgb, r1, c0, r0\n",
    // E
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mul r0.a, t0.a, v0.a\nmad r0.rgb, t1, t1.a, r0\n"
    "+mad r0.a, t1.a, v0.a, r0.a\nmul r0.rgb, r0, v0\nmul r1, t2, t2.a\nmul r1, r1, r0.a\nmad r0.rgb, r1, c0, r0\n",
    // F
    "ps_1_1\ntex t0\ntex t1\ntex t2\nmul r0.rgb, t0, 1-t0.a\n+mul r0.a, t0.a, v0.a\nmad r0.rgb, t1, t1.a, r0\n"
    "+mad r0.a, t1.a, v0.a, r0.a\nmul r0.rgb, r0, v0\nmul r1, t2, r0.a\nmad r0.rgb, r1, c0, r0\n",
};
