// The contract between the engine core and its device driver: the device record, the
// standard device functions, the device requests and the driver's start-up table.
#pragma once

#include <cstdint>

// ---- Device requests ------------------------------------------------------------
// Sent to the device record's system function through Engine::DeviceRequest.

enum DeviceRequestCode : int32_t
{
    kDeviceOpen = 0, ///< in = the open record (first word: the window)
    kDeviceClose = 1,
    kDeviceStart = 2,              ///< create the rendering device
    kDeviceStop = 3,               ///< release the rendering device
    kDeviceRegister = 4,           ///< out = the engine's DeviceRecord, in = its MemoryFunctions
    kDeviceNumVideoModes = 5,      ///< out = int32_t count
    kDeviceVideoModeInfo = 6,      ///< out = VideoMode, number = mode index
    kDeviceUseVideoMode = 7,       ///< number = mode index
    kDeviceFocus = 8,              ///< number non-zero = focus gained
    kDeviceCurrentVideoMode = 10,  ///< out = int32_t mode index
    kDeviceStandardFunctions = 11, ///< out = StandardFunction[number]
    kDeviceTextureMemory = 12,     ///< out = int32_t bytes
    kDeviceNumSubSystems = 13,     ///< out = int32_t count
    /// out = text buffer, inOut = its size in bytes (int32_t); the text is cut to fit and
    /// always terminated; refused without a size. number = index.
    kDeviceSubSystemInfo = 14,
    kDeviceCurrentSubSystem = 15, ///< out = int32_t index
    kDeviceSelectSubSystem = 16,  ///< number = index
    kDeviceFinaliseStart = 17,
    kDeviceInitiateStop = 18,
    kDeviceMaxTextureSize = 19, ///< out = int32_t size
    kDeviceIdentifier = 22,     ///< out = uint16_t identifier
};

/// Answers a device request; non-zero for success, 0 for failure or a request it does
/// not handle (the core then answers requests 13 to 18 itself).
using DeviceSystemFunction = int32_t (*)(int32_t request, void* out, void* inOut, int32_t number);

// ---- Device record ----------------------------------------------------------------

/// The engine's render-state codes, set and read through the device record. Blend, address,
/// stencil-operation, compare and cull values are the device's own numbers.
enum EngineRenderStateCode : int32_t
{
    kRenderStateTextureRaster = 1,      ///< a Raster* of stage 0, or 0
    kRenderStateTextureAddress = 2,     ///< U and V; reads back only when they agree
    kRenderStateTextureAddressU = 3,
    kRenderStateTextureAddressV = 4,
    kRenderStateTexturePerspective = 5, ///< set answers whether the value is non-zero; no read
    kRenderStateZTest = 6,
    kRenderStateShadeMode = 7,          ///< 1 flat, 2 Gouraud
    kRenderStateZWrite = 8,
    kRenderStateTextureFilter = 9,      ///< 0 none, 1 nearest, 2 linear, 3-6 the mipmapped modes
    kRenderStateSourceBlend = 10,
    kRenderStateDestBlend = 11,
    kRenderStateVertexAlpha = 12,
    kRenderStateBorderColour = 13,
    kRenderStateFog = 14,
    kRenderStateFogColour = 15,
    kRenderStateFogType = 16,           ///< 0 none, 1 linear, 2 exponential, 3 squared
    kRenderStateFogDensity = 17,        ///< set: a const float*; read: the real's bits in the low 32 bits
    kRenderStateCullMode = 20,          ///< 1 none, 2 clockwise, 3 counter-clockwise
    kRenderStateStencil = 21,
    kRenderStateStencilFail = 22,
    kRenderStateStencilZFail = 23,
    kRenderStateStencilPass = 24,
    kRenderStateStencilFunction = 25,
    kRenderStateStencilReference = 26,
    kRenderStateStencilMask = 27,
    kRenderStateStencilWriteMask = 28,
    kRenderStateAlphaFunction = 29,
    kRenderStateAlphaReference = 30,
};

/// Render-state values are pointer-sized: some states carry a raster or a pointer to a real.
using DeviceSetRenderState = int32_t (*)(int32_t state, intptr_t value);
using DeviceGetRenderState = int32_t (*)(int32_t state, intptr_t* value);
/// 2D drawing in screen pixels: the vertex array, its count and the vertices or primitives to draw.
using DeviceIm2DLine = int32_t (*)(void* vertices, int32_t numVertices, int32_t first, int32_t second);
using DeviceIm2DTriangle = int32_t (*)(void* vertices, int32_t numVertices, int32_t first, int32_t second,
                                       int32_t third);
using DeviceIm2DPrimitive = int32_t (*)(int32_t primitiveType, void* vertices, int32_t numVertices);
/// The 2D vertex both sides use (28 bytes): x and y in pixels, z the device depth 0-1, then
/// the reciprocal of w (taken for the perspective divide of texture coordinates), the colour
/// as 0xAARRGGBB, and u, v.
struct Im2DVertex
{
    float x;
    float y;
    float z;
    float recipW;
    uint32_t colour;
    float u;
    float v;
};
static_assert(sizeof(Im2DVertex) == 28);

/// The 2D primitive types of the primitive entries.
enum Im2DPrimitiveType : int32_t
{
    kIm2DLineList = 1,
    kIm2DPolyLine = 2,
    kIm2DTriList = 3,
    kIm2DTriStrip = 4,
    kIm2DTriFan = 5,
};

using DeviceIm2DIndexedPrimitive = int32_t (*)(int32_t primitiveType, void* vertices, int32_t numVertices,
                                               const uint16_t* indices, int32_t numIndices);

/// The device's description, copied into the engine by the register request. The
/// system function is mandatory; a null drawing or render-state entry means the device
/// does not offer it, and the caller answers its failure value.
struct DeviceRecord
{
    float gamma;
    DeviceSystemFunction system;
    float zBufferNear;
    float zBufferFar;
    DeviceSetRenderState setRenderState;
    DeviceGetRenderState getRenderState;
    DeviceIm2DLine im2DLine;
    DeviceIm2DTriangle im2DTriangle;
    DeviceIm2DPrimitive im2DPrimitive;
    DeviceIm2DIndexedPrimitive im2DIndexedPrimitive;
    void* reserved[4];
};

// ---- Standard device functions ------------------------------------------------------

/// Each slot is called as (out, in, number) and answers non-zero for success. A slot
/// the device leaves null is given a function that does nothing and answers 0. The
/// object a raster or camera operation works on is the in argument, except where a slot
/// says otherwise.
using StandardFunction = int32_t (*)(void* out, void* in, int32_t number);

enum StandardFunctionSlot : int32_t
{
    kStdCameraBeginUpdate = 1, ///< in = camera
    kStdRgbToPixel = 2,
    kStdPixelToRgb = 3,
    kStdRasterCreate = 4, ///< in = raster (sizes set), number = creation flags
    kStdRasterDestroy = 5,
    kStdImageGetRaster = 6,
    kStdRasterSetImage = 7,
    kStdTextureSetRaster = 8,
    kStdImageFindRasterFormat = 9,
    kStdCameraEndUpdate = 10, ///< in = camera
    kStdSetRasterContext = 11,
    kStdRasterSubRaster = 12, ///< out = sub-raster, in = the raster it views
    kStdRasterClearRect = 13,
    kStdRasterClear = 14,
    kStdRasterLock = 15, ///< out = uint8_t* pixels, in = raster, number = level << 8 | mode
    kStdRasterUnlock = 16,
    kStdRasterRender = 17,
    kStdRasterRenderScaled = 18,
    kStdRasterRenderFast = 19,
    kStdRasterShowRaster = 20,  ///< out = device window, in = raster, number = flags
    kStdCameraClear = 21,       ///< out = camera, in = Rgba colour, number = clear mode
    kStdRasterLockPalette = 23, ///< out = uint8_t* palette, in = raster, number = mode
    kStdRasterUnlockPalette = 24,
    kStdNativeTextureGetSize = 25,
    kStdNativeTextureRead = 26,
    kStdNativeTextureWrite = 27,
    kStdRasterGetMipLevels = 28, ///< out = int32_t count, in = raster
    kNumStandardFunctions = 29,
};

// ---- Video modes ----------------------------------------------------------------------

struct VideoMode
{
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t flags; ///< bit 0: exclusive full screen
    int32_t refreshRate;
    int32_t format; ///< the engine raster format of the mode's pixels
};

// ---- Driver -----------------------------------------------------------------------------

/// What a device driver hands the engine before Engine::Init, filled by the driver's one
/// create function. Both entries are mandatory; a null entry makes the engine call that
/// needs it fail.
struct DeviceDriver
{
    /// Run at the end of Engine::Init: the driver registers its own plug-ins (its raster
    /// extension) and builds its tables. Non-zero for success.
    int32_t (*attach)();
    /// The driver's device record, read by Engine::Open; null when there is no device.
    const DeviceRecord* (*getDeviceRecord)();
};
