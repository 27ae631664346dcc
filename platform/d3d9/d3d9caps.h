// Device capabilities of our Direct3D 9 layer: the caps record and the bits the engine tests in it.
// Tests configure every field through the adapter hooks (d3d9testhooks.h).
#pragma once

#include "d3d9types.h"

struct D3DVSHADERCAPS2_0
{
    DWORD Caps;
    INT DynamicFlowControlDepth;
    INT NumTemps;
    INT StaticFlowControlDepth;
};

struct D3DPSHADERCAPS2_0
{
    DWORD Caps;
    INT DynamicFlowControlDepth;
    INT NumTemps;
    INT StaticFlowControlDepth;
    INT NumInstructionSlots;
};

struct D3DCAPS9
{
    D3DDEVTYPE DeviceType;
    UINT AdapterOrdinal;
    DWORD Caps;
    DWORD Caps2;
    DWORD Caps3;
    DWORD PresentationIntervals;
    DWORD CursorCaps;
    DWORD DevCaps;
    DWORD PrimitiveMiscCaps;
    DWORD RasterCaps;
    DWORD ZCmpCaps;
    DWORD SrcBlendCaps;
    DWORD DestBlendCaps;
    DWORD AlphaCmpCaps;
    DWORD ShadeCaps;
    DWORD TextureCaps;
    DWORD TextureFilterCaps;
    DWORD CubeTextureFilterCaps;
    DWORD VolumeTextureFilterCaps;
    DWORD TextureAddressCaps;
    DWORD VolumeTextureAddressCaps;
    DWORD LineCaps;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
    DWORD MaxVolumeExtent;
    DWORD MaxTextureRepeat;
    DWORD MaxTextureAspectRatio;
    DWORD MaxAnisotropy;
    float MaxVertexW;
    float GuardBandLeft;
    float GuardBandTop;
    float GuardBandRight;
    float GuardBandBottom;
    float ExtentsAdjust;
    DWORD StencilCaps;
    DWORD FVFCaps;
    DWORD TextureOpCaps;
    DWORD MaxTextureBlendStages;
    DWORD MaxSimultaneousTextures;
    DWORD VertexProcessingCaps;
    DWORD MaxActiveLights;
    DWORD MaxUserClipPlanes;
    DWORD MaxVertexBlendMatrices;
    DWORD MaxVertexBlendMatrixIndex;
    float MaxPointSize;
    DWORD MaxPrimitiveCount;
    DWORD MaxVertexIndex;
    DWORD MaxStreams;
    DWORD MaxStreamStride;
    DWORD VertexShaderVersion;
    DWORD MaxVertexShaderConst;
    DWORD PixelShaderVersion;
    float PixelShader1xMaxValue;
    DWORD DevCaps2;
    float MaxNpatchTessellationLevel;
    DWORD Reserved5;
    UINT MasterAdapterOrdinal;
    UINT AdapterOrdinalInGroup;
    UINT NumberOfAdaptersInGroup;
    DWORD DeclTypes;
    DWORD NumSimultaneousRTs;
    DWORD StretchRectFilterCaps;
    D3DVSHADERCAPS2_0 VS20Caps;
    D3DPSHADERCAPS2_0 PS20Caps;
    DWORD VertexTextureFilterCaps;
    DWORD MaxVShaderInstructionsExecuted;
    DWORD MaxPShaderInstructionsExecuted;
    DWORD MaxVertexShader30InstructionSlots;
    DWORD MaxPixelShader30InstructionSlots;
};

constexpr DWORD D3DVS_VERSION(DWORD major, DWORD minor)
{
    return 0xFFFE0000u | (major << 8) | minor;
}
constexpr DWORD D3DPS_VERSION(DWORD major, DWORD minor)
{
    return 0xFFFF0000u | (major << 8) | minor;
}
constexpr DWORD D3DSHADER_VERSION_MAJOR(DWORD version)
{
    return (version >> 8) & 0xFF;
}
constexpr DWORD D3DSHADER_VERSION_MINOR(DWORD version)
{
    return version & 0xFF;
}

// ---- Caps2 and DevCaps ----------------------------------------------------------------------------------------

constexpr DWORD D3DCAPS2_FULLSCREENGAMMA = 0x20000;
constexpr DWORD D3DCAPS2_CANMANAGERESOURCE = 0x10000000;
constexpr DWORD D3DCAPS2_DYNAMICTEXTURES = 0x20000000;
constexpr DWORD D3DCAPS2_CANAUTOGENMIPMAP = 0x40000000;

constexpr DWORD D3DDEVCAPS_EXECUTESYSTEMMEMORY = 0x10;
constexpr DWORD D3DDEVCAPS_EXECUTEVIDEOMEMORY = 0x20;
constexpr DWORD D3DDEVCAPS_TLVERTEXSYSTEMMEMORY = 0x40;
constexpr DWORD D3DDEVCAPS_TLVERTEXVIDEOMEMORY = 0x80;
constexpr DWORD D3DDEVCAPS_TEXTURESYSTEMMEMORY = 0x100;
constexpr DWORD D3DDEVCAPS_TEXTUREVIDEOMEMORY = 0x200;
constexpr DWORD D3DDEVCAPS_DRAWPRIMTLVERTEX = 0x400;
constexpr DWORD D3DDEVCAPS_CANRENDERAFTERFLIP = 0x800;
constexpr DWORD D3DDEVCAPS_DRAWPRIMITIVES2 = 0x2000;
constexpr DWORD D3DDEVCAPS_DRAWPRIMITIVES2EX = 0x8000;
constexpr DWORD D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x10000;
constexpr DWORD D3DDEVCAPS_HWRASTERIZATION = 0x80000;
constexpr DWORD D3DDEVCAPS_PUREDEVICE = 0x100000;

constexpr DWORD D3DDEVCAPS2_STREAMOFFSET = 0x1;
constexpr DWORD D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES = 0x10;
constexpr DWORD D3DDEVCAPS2_VERTEXELEMENTSCANSHARESTREAMOFFSET = 0x40;

// ---- Rasterisation, comparison, blending, shading ---------------------------------------------------------

constexpr DWORD D3DPRASTERCAPS_DITHER = 0x1;
constexpr DWORD D3DPRASTERCAPS_ZTEST = 0x10;
constexpr DWORD D3DPRASTERCAPS_FOGVERTEX = 0x80;
constexpr DWORD D3DPRASTERCAPS_FOGTABLE = 0x100;
constexpr DWORD D3DPRASTERCAPS_MIPMAPLODBIAS = 0x2000;
constexpr DWORD D3DPRASTERCAPS_FOGRANGE = 0x10000;
constexpr DWORD D3DPRASTERCAPS_ANISOTROPY = 0x20000;
constexpr DWORD D3DPRASTERCAPS_WFOG = 0x100000;
constexpr DWORD D3DPRASTERCAPS_ZFOG = 0x200000;
constexpr DWORD D3DPRASTERCAPS_COLORPERSPECTIVE = 0x400000;
constexpr DWORD D3DPRASTERCAPS_SCISSORTEST = 0x1000000;
constexpr DWORD D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS = 0x2000000;
constexpr DWORD D3DPRASTERCAPS_DEPTHBIAS = 0x4000000;

constexpr DWORD D3DPMISCCAPS_MASKZ = 0x2;
constexpr DWORD D3DPMISCCAPS_CULLNONE = 0x10;
constexpr DWORD D3DPMISCCAPS_CULLCW = 0x20;
constexpr DWORD D3DPMISCCAPS_CULLCCW = 0x40;
constexpr DWORD D3DPMISCCAPS_COLORWRITEENABLE = 0x80;
constexpr DWORD D3DPMISCCAPS_CLIPTLVERTS = 0x200;
constexpr DWORD D3DPMISCCAPS_TSSARGTEMP = 0x400;
constexpr DWORD D3DPMISCCAPS_BLENDOP = 0x800;
constexpr DWORD D3DPMISCCAPS_SEPARATEALPHABLEND = 0x20000;

constexpr DWORD D3DPCMPCAPS_ALL = 0xFF; ///< NEVER 0x1 through ALWAYS 0x80

constexpr DWORD D3DPBLENDCAPS_ZERO = 0x1;
constexpr DWORD D3DPBLENDCAPS_ONE = 0x2;
constexpr DWORD D3DPBLENDCAPS_SRCCOLOR = 0x4;
constexpr DWORD D3DPBLENDCAPS_INVSRCCOLOR = 0x8;
constexpr DWORD D3DPBLENDCAPS_SRCALPHA = 0x10;
constexpr DWORD D3DPBLENDCAPS_INVSRCALPHA = 0x20;
constexpr DWORD D3DPBLENDCAPS_DESTALPHA = 0x40;
constexpr DWORD D3DPBLENDCAPS_INVDESTALPHA = 0x80;
constexpr DWORD D3DPBLENDCAPS_DESTCOLOR = 0x100;
constexpr DWORD D3DPBLENDCAPS_INVDESTCOLOR = 0x200;
constexpr DWORD D3DPBLENDCAPS_SRCALPHASAT = 0x400;
constexpr DWORD D3DPBLENDCAPS_BLENDFACTOR = 0x2000;

constexpr DWORD D3DPSHADECAPS_COLORGOURAUDRGB = 0x8;
constexpr DWORD D3DPSHADECAPS_SPECULARGOURAUDRGB = 0x200;
constexpr DWORD D3DPSHADECAPS_ALPHAGOURAUDBLEND = 0x4000;
constexpr DWORD D3DPSHADECAPS_FOGGOURAUD = 0x80000;

constexpr DWORD D3DSTENCILCAPS_ALL = 0xFF; ///< KEEP 0x1 through DECR 0x80
constexpr DWORD D3DSTENCILCAPS_TWOSIDED = 0x100;

constexpr DWORD D3DLINECAPS_TEXTURE = 0x1;
constexpr DWORD D3DLINECAPS_ZTEST = 0x2;
constexpr DWORD D3DLINECAPS_BLEND = 0x4;
constexpr DWORD D3DLINECAPS_ALPHACMP = 0x8;
constexpr DWORD D3DLINECAPS_FOG = 0x10;

// ---- Textures -----------------------------------------------------------------------------------------------------

constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x1;
constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x2;
constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x4;
constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x20;
constexpr DWORD D3DPTEXTURECAPS_ALPHAPALETTE = 0x80;
constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x100;
constexpr DWORD D3DPTEXTURECAPS_PROJECTED = 0x400;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP = 0x800;
constexpr DWORD D3DPTEXTURECAPS_MIPMAP = 0x4000;
constexpr DWORD D3DPTEXTURECAPS_MIPCUBEMAP = 0x10000;
constexpr DWORD D3DPTEXTURECAPS_CUBEMAP_POW2 = 0x20000;

constexpr DWORD D3DPTFILTERCAPS_MINFPOINT = 0x100;
constexpr DWORD D3DPTFILTERCAPS_MINFLINEAR = 0x200;
constexpr DWORD D3DPTFILTERCAPS_MINFANISOTROPIC = 0x400;
constexpr DWORD D3DPTFILTERCAPS_MIPFPOINT = 0x10000;
constexpr DWORD D3DPTFILTERCAPS_MIPFLINEAR = 0x20000;
constexpr DWORD D3DPTFILTERCAPS_MAGFPOINT = 0x1000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFLINEAR = 0x2000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFANISOTROPIC = 0x4000000;

constexpr DWORD D3DPTADDRESSCAPS_WRAP = 0x1;
constexpr DWORD D3DPTADDRESSCAPS_MIRROR = 0x2;
constexpr DWORD D3DPTADDRESSCAPS_CLAMP = 0x4;
constexpr DWORD D3DPTADDRESSCAPS_BORDER = 0x8;
constexpr DWORD D3DPTADDRESSCAPS_INDEPENDENTUV = 0x10;
constexpr DWORD D3DPTADDRESSCAPS_MIRRORONCE = 0x20;

constexpr DWORD D3DTEXOPCAPS_DISABLE = 0x1;
constexpr DWORD D3DTEXOPCAPS_SELECTARG1 = 0x2;
constexpr DWORD D3DTEXOPCAPS_SELECTARG2 = 0x4;
constexpr DWORD D3DTEXOPCAPS_MODULATE = 0x8;
constexpr DWORD D3DTEXOPCAPS_MODULATE2X = 0x10;
constexpr DWORD D3DTEXOPCAPS_MODULATE4X = 0x20;
constexpr DWORD D3DTEXOPCAPS_ADD = 0x40;
constexpr DWORD D3DTEXOPCAPS_BLENDTEXTUREALPHA = 0x1000;
constexpr DWORD D3DTEXOPCAPS_DOTPRODUCT3 = 0x800000;
constexpr DWORD D3DTEXOPCAPS_MULTIPLYADD = 0x1000000;
constexpr DWORD D3DTEXOPCAPS_LERP = 0x2000000;
constexpr DWORD D3DTEXOPCAPS_ALL = 0x3FFFFFF;

// ---- Vertex processing --------------------------------------------------------------------------------------------

constexpr DWORD D3DFVFCAPS_TEXCOORDCOUNTMASK = 0xFFFF;
constexpr DWORD D3DFVFCAPS_DONOTSTRIPELEMENTS = 0x80000;
constexpr DWORD D3DFVFCAPS_PSIZE = 0x100000;

constexpr DWORD D3DVTXPCAPS_TEXGEN = 0x1;
constexpr DWORD D3DVTXPCAPS_MATERIALSOURCE7 = 0x2;
constexpr DWORD D3DVTXPCAPS_DIRECTIONALLIGHTS = 0x8;
constexpr DWORD D3DVTXPCAPS_POSITIONALLIGHTS = 0x10;
constexpr DWORD D3DVTXPCAPS_LOCALVIEWER = 0x20;

constexpr DWORD D3DDTCAPS_UBYTE4 = 0x1;
constexpr DWORD D3DDTCAPS_UBYTE4N = 0x2;
constexpr DWORD D3DDTCAPS_SHORT2N = 0x4;
constexpr DWORD D3DDTCAPS_SHORT4N = 0x8;
constexpr DWORD D3DDTCAPS_USHORT2N = 0x10;
constexpr DWORD D3DDTCAPS_USHORT4N = 0x20;
constexpr DWORD D3DDTCAPS_UDEC3 = 0x40;
constexpr DWORD D3DDTCAPS_DEC3N = 0x80;
constexpr DWORD D3DDTCAPS_FLOAT16_2 = 0x100;
constexpr DWORD D3DDTCAPS_FLOAT16_4 = 0x200;
