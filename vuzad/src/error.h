// The engine's error slot and error codes: the first error recorded after the slot was
// last read is kept until it is read.
#pragma once

#include <cstdint>

// ---- Common codes (top bit set; stored with plug-in id 0) ----------------------------

constexpr int32_t kErrEngineState = int32_t(0x80000001u);   ///< the engine is not in the state the call needs
constexpr int32_t kErrFileOpen = int32_t(0x80000002u);      ///< a named file cannot be opened
constexpr int32_t kErrBadArgument = int32_t(0x80000003u);   ///< an argument outside its allowed values
constexpr int32_t kErrBadVersion = int32_t(0x80000004u);    ///< a chunk's library version is not readable
constexpr int32_t kErrImageDepth = int32_t(0x80000008u);    ///< an image depth the operation does not handle
constexpr int32_t kErrImageFormat = int32_t(0x80000009u);   ///< an image or raster format the operation does not handle
constexpr int32_t kErrImageSize = int32_t(0x8000000Au);     ///< two images differ in size
constexpr int32_t kErrConvertDepth = int32_t(0x8000000Cu);  ///< a depth a raster conversion does not handle
constexpr int32_t kErrRasterFormat = int32_t(0x8000000Du);  ///< a raster type or format the device does not handle
constexpr int32_t kErrAlreadyLocked = int32_t(0x8000000Eu); ///< locking a locked raster
constexpr int32_t kErrNotLocked = int32_t(0x80000011u);     ///< unlocking a raster that is not locked
constexpr int32_t kErrNoMemory = int32_t(0x80000013u);      ///< memory cannot be allocated
constexpr int32_t kErrNullArgument = int32_t(0x80000016u);  ///< a required argument is null
constexpr int32_t kErrPluginRefused = int32_t(0x80000017u); ///< plug-in registered while open, or twice
constexpr int32_t kErrNotStarted = int32_t(0x80000018u);    ///< asked for before the engine is started
constexpr int32_t kErrStreamRead = int32_t(0x8000001Au);    ///< a stream cannot be read
constexpr int32_t kErrStreamWrite = int32_t(0x8000001Cu);   ///< a stream cannot be written
constexpr int32_t kErrNameTruncated = int32_t(0x8000001Eu); ///< a name was cut to fit its field
constexpr int32_t kErrNone = int32_t(0x80000000u);          ///< the code of an empty slot

// ---- Core codes (plug-in id 1) ------------------------------------------------------

constexpr int32_t kCorePluginId = 1;
constexpr int32_t kCoreErrDevice = 2;           ///< a device operation failed
constexpr int32_t kCoreErrEndOfStream = 5;      ///< a read or skip past the end of a stream
constexpr int32_t kCoreErrArenaFull = 12;       ///< the resource arena cannot hold the entry
constexpr int32_t kCoreErrStreamAccess = 13;    ///< a stream access mode it does not know
constexpr int32_t kCoreErrStreamKind = 14;      ///< a stream kind it does not know
constexpr int32_t kCoreErrTextureNotFound = 22; ///< a texture cannot be found or read
constexpr int32_t kCoreErrDeviceRequest = 24;   ///< a device request failed
constexpr int32_t kCoreErrZeroLength = 25;      ///< a vector of length zero cannot be normalised

/// An engine error: the module whose code it is, and the code.
struct Error
{
    int32_t pluginId;
    int32_t code;

    /// The code alone: a message text or a number passed with it is not kept.
    template <typename... Extra> static int32_t MakeCode(int32_t code, const Extra&...) { return code; }

    /// Records the error when the slot is empty (a common code with plug-in id 0);
    /// otherwise changes nothing. Answers error.
    static const Error* Set(const Error* error);
    /// Copies the slot into error and empties the slot. Answers error.
    static Error* Get(Error* error);
    /// Set of {pluginId, code}.
    static void Report(int32_t pluginId, int32_t code);

    static bool IsCommon(int32_t code) { return code < 0; }

    // The error module (engine-level module 0x40F): its block is the slot.
    static constexpr int32_t kPluginId = 0x40F;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
    static int32_t GetModuleOpenCount();
};
