// Basic types, result codes, formats, pools, usages, lock flags and the plain records of our Direct3D 9 layer.
// Numeric values are the platform's own: the engine stores formats, usages and element types in files
// and compares results against these exact codes.
#pragma once

#include "win32.h"

#include <cstdint>

// ---- Scalar types the interfaces use (identical aliases may repeat in win32.h) --------------------------

using BYTE = uint8_t;
using INT = int;
using ULONG = uint32_t;
using FLOAT = float;
using HRESULT = int32_t;
using D3DCOLOR = DWORD;

constexpr D3DCOLOR D3DCOLOR_ARGB(DWORD a, DWORD r, DWORD g, DWORD b)
{
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr D3DCOLOR D3DCOLOR_XRGB(DWORD r, DWORD g, DWORD b)
{
    return D3DCOLOR_ARGB(0xFF, r, g, b);
}

constexpr DWORD D3D_MAKEFOURCC(char a, char b, char c, char d)
{
    return DWORD(BYTE(a)) | (DWORD(BYTE(b)) << 8) | (DWORD(BYTE(c)) << 16) | (DWORD(BYTE(d)) << 24);
}

// ---- Results ----------------------------------------------------------------------------------------------

constexpr HRESULT D3D_OK = 0;
// S_OK, S_FALSE and the E_ codes are the Win32 layer's (COM results).

constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = HRESULT(0x88760818u);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = HRESULT(0x88760819u);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = HRESULT(0x8876081Au);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = HRESULT(0x8876081Bu);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = HRESULT(0x8876081Du);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = HRESULT(0x88760821u);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = HRESULT(0x88760827u);
constexpr HRESULT D3DERR_NOTFOUND = HRESULT(0x88760866u);
constexpr HRESULT D3DERR_MOREDATA = HRESULT(0x88760867u);
constexpr HRESULT D3DERR_DEVICELOST = HRESULT(0x88760868u);
constexpr HRESULT D3DERR_DEVICENOTRESET = HRESULT(0x88760869u);
constexpr HRESULT D3DERR_NOTAVAILABLE = HRESULT(0x8876086Au);
constexpr HRESULT D3DERR_INVALIDDEVICE = HRESULT(0x8876086Bu);
constexpr HRESULT D3DERR_INVALIDCALL = HRESULT(0x8876086Cu);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = HRESULT(0x8876086Du);
constexpr HRESULT D3DERR_WASSTILLDRAWING = HRESULT(0x8876021Cu);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = HRESULT(0x8876017Cu);
/// A success code: the texture was made without automatic mip levels.
constexpr HRESULT D3DOK_NOAUTOGEN = HRESULT(0x0876086Fu);

// ---- Creation -----------------------------------------------------------------------------------------------

constexpr UINT D3D_SDK_VERSION = 32;
constexpr UINT D3DADAPTER_DEFAULT = 0;

enum D3DDEVTYPE : DWORD
{
    D3DDEVTYPE_HAL = 1,
    D3DDEVTYPE_REF = 2,
    D3DDEVTYPE_SW = 3,
    D3DDEVTYPE_NULLREF = 4,
};

constexpr DWORD D3DCREATE_FPU_PRESERVE = 0x2;
constexpr DWORD D3DCREATE_MULTITHREADED = 0x4;
constexpr DWORD D3DCREATE_PUREDEVICE = 0x10;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;

constexpr DWORD D3DENUM_WHQL_LEVEL = 0x2;

// ---- Formats ----------------------------------------------------------------------------------------------

enum D3DFORMAT : DWORD
{
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_R3G3B2 = 27,
    D3DFMT_A8 = 28,
    D3DFMT_A8R3G3B2 = 29,
    D3DFMT_X4R4G4B4 = 30,
    D3DFMT_A2B10G10R10 = 31,
    D3DFMT_A8B8G8R8 = 32,
    D3DFMT_X8B8G8R8 = 33,
    D3DFMT_G16R16 = 34,
    D3DFMT_A2R10G10B10 = 35,
    D3DFMT_A16B16G16R16 = 36,
    D3DFMT_A8P8 = 40,
    D3DFMT_P8 = 41,
    D3DFMT_L8 = 50,
    D3DFMT_A8L8 = 51,
    D3DFMT_A4L4 = 52,
    D3DFMT_V8U8 = 60,
    D3DFMT_L6V5U5 = 61,
    D3DFMT_X8L8V8U8 = 62,
    D3DFMT_Q8W8V8U8 = 63,
    D3DFMT_V16U16 = 64,
    D3DFMT_A2W10V10U10 = 67,
    D3DFMT_D16_LOCKABLE = 70,
    D3DFMT_D32 = 71,
    D3DFMT_D15S1 = 73,
    D3DFMT_D24S8 = 75,
    D3DFMT_D24X8 = 77,
    D3DFMT_D24X4S4 = 79,
    D3DFMT_D16 = 80,
    D3DFMT_L16 = 81,
    D3DFMT_D32F_LOCKABLE = 82,
    D3DFMT_D24FS8 = 83,
    D3DFMT_VERTEXDATA = 100,
    D3DFMT_INDEX16 = 101,
    D3DFMT_INDEX32 = 102,
    D3DFMT_Q16W16V16U16 = 110,
    D3DFMT_R16F = 111,
    D3DFMT_G16R16F = 112,
    D3DFMT_A16B16G16R16F = 113,
    D3DFMT_R32F = 114,
    D3DFMT_G32R32F = 115,
    D3DFMT_A32B32G32R32F = 116,
    D3DFMT_CxV8U8 = 117,
    D3DFMT_DXT1 = 0x31545844, // "DXT1"
    D3DFMT_DXT2 = 0x32545844,
    D3DFMT_DXT3 = 0x33545844,
    D3DFMT_DXT4 = 0x34545844,
    D3DFMT_DXT5 = 0x35545844,
};

// ---- Resources: types, pools, usages, locks ---------------------------------------------------------------

enum D3DRESOURCETYPE : DWORD
{
    D3DRTYPE_SURFACE = 1,
    D3DRTYPE_VOLUME = 2,
    D3DRTYPE_TEXTURE = 3,
    D3DRTYPE_VOLUMETEXTURE = 4,
    D3DRTYPE_CUBETEXTURE = 5,
    D3DRTYPE_VERTEXBUFFER = 6,
    D3DRTYPE_INDEXBUFFER = 7,
};

enum D3DPOOL : DWORD
{
    D3DPOOL_DEFAULT = 0,
    D3DPOOL_MANAGED = 1,
    D3DPOOL_SYSTEMMEM = 2,
    D3DPOOL_SCRATCH = 3,
};

constexpr DWORD D3DUSAGE_RENDERTARGET = 0x1;
constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x2;
constexpr DWORD D3DUSAGE_WRITEONLY = 0x8;
constexpr DWORD D3DUSAGE_SOFTWAREPROCESSING = 0x10;
constexpr DWORD D3DUSAGE_DONOTCLIP = 0x20;
constexpr DWORD D3DUSAGE_POINTS = 0x40;
constexpr DWORD D3DUSAGE_RTPATCHES = 0x80;
constexpr DWORD D3DUSAGE_NPATCHES = 0x100;
constexpr DWORD D3DUSAGE_DYNAMIC = 0x200;
constexpr DWORD D3DUSAGE_AUTOGENMIPMAP = 0x400;
constexpr DWORD D3DUSAGE_DMAP = 0x4000;
// Only for CheckDeviceFormat.
constexpr DWORD D3DUSAGE_QUERY_LEGACYBUMPMAP = 0x8000;
constexpr DWORD D3DUSAGE_QUERY_SRGBREAD = 0x10000;
constexpr DWORD D3DUSAGE_QUERY_FILTER = 0x20000;
constexpr DWORD D3DUSAGE_QUERY_SRGBWRITE = 0x40000;
constexpr DWORD D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING = 0x80000;
constexpr DWORD D3DUSAGE_QUERY_VERTEXTEXTURE = 0x100000;
constexpr DWORD D3DUSAGE_QUERY_WRAPANDMIP = 0x200000;

constexpr DWORD D3DLOCK_READONLY = 0x10;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x800;
constexpr DWORD D3DLOCK_NOOVERWRITE = 0x1000;
constexpr DWORD D3DLOCK_DISCARD = 0x2000;
constexpr DWORD D3DLOCK_DONOTWAIT = 0x4000;
constexpr DWORD D3DLOCK_NO_DIRTY_UPDATE = 0x8000;

enum D3DMULTISAMPLE_TYPE : DWORD
{
    D3DMULTISAMPLE_NONE = 0,
    D3DMULTISAMPLE_NONMASKABLE = 1,
    D3DMULTISAMPLE_2_SAMPLES = 2,
    D3DMULTISAMPLE_4_SAMPLES = 4,
};

enum D3DCUBEMAP_FACES : DWORD
{
    D3DCUBEMAP_FACE_POSITIVE_X = 0,
    D3DCUBEMAP_FACE_NEGATIVE_X = 1,
    D3DCUBEMAP_FACE_POSITIVE_Y = 2,
    D3DCUBEMAP_FACE_NEGATIVE_Y = 3,
    D3DCUBEMAP_FACE_POSITIVE_Z = 4,
    D3DCUBEMAP_FACE_NEGATIVE_Z = 5,
};

enum D3DBACKBUFFER_TYPE : DWORD
{
    D3DBACKBUFFER_TYPE_MONO = 0,
};

enum D3DTEXTUREFILTERTYPE : DWORD
{
    D3DTEXF_NONE = 0,
    D3DTEXF_POINT = 1,
    D3DTEXF_LINEAR = 2,
    D3DTEXF_ANISOTROPIC = 3,
    D3DTEXF_PYRAMIDALQUAD = 6,
    D3DTEXF_GAUSSIANQUAD = 7,
};

// ---- Presentation -----------------------------------------------------------------------------------------

enum D3DSWAPEFFECT : DWORD
{
    D3DSWAPEFFECT_DISCARD = 1,
    D3DSWAPEFFECT_FLIP = 2,
    D3DSWAPEFFECT_COPY = 3,
};

constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0x0;
constexpr UINT D3DPRESENT_INTERVAL_ONE = 0x1;
constexpr UINT D3DPRESENT_INTERVAL_TWO = 0x2;
constexpr UINT D3DPRESENT_INTERVAL_THREE = 0x4;
constexpr UINT D3DPRESENT_INTERVAL_FOUR = 0x8;
constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;

constexpr DWORD D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;
constexpr DWORD D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL = 0x2;

constexpr DWORD D3DCLEAR_TARGET = 0x1;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;
constexpr DWORD D3DCLEAR_STENCIL = 0x4;

// ---- Records ------------------------------------------------------------------------------------------------

// Graphics-interface records that win32.h does not carry.
struct PALETTEENTRY
{
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags; ///< the entry's alpha
};
struct RGNDATA; // dirty regions are accepted and ignored

struct D3DDISPLAYMODE
{
    UINT Width;
    UINT Height;
    UINT RefreshRate;
    D3DFORMAT Format;
};

struct D3DPRESENT_PARAMETERS
{
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT PresentationInterval;
};

struct D3DDEVICE_CREATION_PARAMETERS
{
    UINT AdapterOrdinal;
    D3DDEVTYPE DeviceType;
    HWND hFocusWindow;
    DWORD BehaviorFlags;
};

struct D3DADAPTER_IDENTIFIER9
{
    char Driver[512];
    char Description[512];
    char DeviceName[32];
    int64_t DriverVersion;
    DWORD VendorId;
    DWORD DeviceId;
    DWORD SubSysId;
    DWORD Revision;
    BYTE DeviceIdentifier[16];
    DWORD WHQLLevel;
};

struct D3DSURFACE_DESC
{
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    UINT Width;
    UINT Height;
};

struct D3DVERTEXBUFFER_DESC
{
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
    DWORD FVF;
};

struct D3DINDEXBUFFER_DESC
{
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
};

struct D3DLOCKED_RECT
{
    INT Pitch;
    void* pBits;
};

struct D3DRECT
{
    LONG x1;
    LONG y1;
    LONG x2;
    LONG y2;
};

struct D3DVIEWPORT9
{
    DWORD X;
    DWORD Y;
    DWORD Width;
    DWORD Height;
    float MinZ;
    float MaxZ;
};

struct D3DGAMMARAMP
{
    WORD red[256];
    WORD green[256];
    WORD blue[256];
};
