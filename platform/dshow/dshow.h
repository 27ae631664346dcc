// Our DirectShow layer: COM start-up, the filter graph with its media control, media
// event and media position interfaces, media samples and the base video renderer from
// which a program derives its own renderer filter. Backed by FFmpeg: RenderFile opens the
// file, takes its first video stream and connects its decoder to the filter added as
// "Video Renderer", offering 24-bit RGB rows bottom-up. A decode thread of the graph hands
// every frame to that renderer when the graph clock (the Win32 performance counter)
// reaches it. GUIDs, codes and record layouts are the platform's own.
//
// Threads: the graph's interfaces are called from one thread; the renderer's
// DoRenderSample runs on the decode thread.
#pragma once

#include "win32.h"

#include <atomic>
#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using LONGLONG = int64_t;
using LONG_PTR = intptr_t;
using REFERENCE_TIME = int64_t; ///< 100 ns units
using REFTIME = double;         ///< seconds
using WCHAR = char16_t;         ///< one UTF-16 unit
using LPCWSTR = const WCHAR*;
using OAEVENT = LONG_PTR;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using CLSID = GUID;
using IID = GUID;

// ---- Results ---------------------------------------------------------------------------------

constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
constexpr HRESULT CO_E_NOTINITIALIZED = HRESULT(0x800401F0u);
constexpr HRESULT VFW_E_NOT_CONNECTED = HRESULT(0x80040209u);
constexpr HRESULT VFW_E_NOT_FOUND = HRESULT(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = HRESULT(0x80040217u);
constexpr HRESULT VFW_E_CANNOT_RENDER = HRESULT(0x80040218u);
constexpr HRESULT VFW_E_WRONG_STATE = HRESULT(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = HRESULT(0x8004022Au);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = HRESULT(0x80040240u);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = HRESULT(0x8004025Fu);
/// A file that does not exist (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).
constexpr HRESULT HRESULT_FILE_NOT_FOUND = HRESULT(0x80070002u);

// ---- Identifiers ------------------------------------------------------------------------------

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID CLSID_FilterGraph = {
    0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID IID_IGraphBuilder = {
    0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID IID_IMediaControl = {
    0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID IID_IMediaEventEx = {
    0x56A868C0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID IID_IMediaPosition = {
    0x56A868B2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID IID_IBaseFilter = {0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

inline constexpr GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_RGB24 = {
    0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB32 = {
    0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// ---- Events -----------------------------------------------------------------------------------

constexpr LONG EC_COMPLETE = 0x01;

// ---- Media types ------------------------------------------------------------------------------

constexpr DWORD BI_RGB = 0;

struct BITMAPINFOHEADER
{
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; ///< positive: rows bottom-up; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct VIDEOINFOHEADER
{
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

class IUnknown;

struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

/// The base classes' media type: the record with its accessors.
class CMediaType : public AM_MEDIA_TYPE
{
public:
    CMediaType() : AM_MEDIA_TYPE{} {}
    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
};

// ---- Interfaces -------------------------------------------------------------------------------

class IUnknown
{
public:
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    /// The count left; the object is gone at 0.
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IBaseFilter : public IUnknown
{
public:
    virtual HRESULT GetClassID(CLSID* classId) = 0;
};

class IMediaSample : public IUnknown
{
public:
    /// The sample's buffer.
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    /// The buffer's capacity in bytes.
    virtual LONG GetSize() = 0;
    /// The bytes of data the buffer holds.
    virtual LONG GetActualDataLength() = 0;
    /// The sample's start and end stream times.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
};

class IGraphBuilder : public IUnknown
{
public:
    /// Adds a filter under a name; the graph holds a reference until it is removed.
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    /// Stops the graph when the filter is its connected renderer, then drops the graph's
    /// reference (which may destroy the filter). VFW_E_NOT_IN_GRAPH for a stranger.
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    /// Opens the file and connects its first video stream to the filter named "Video
    /// Renderer" through the RGB24 media type. The file's error (HRESULT_FILE_NOT_FOUND,
    /// VFW_E_UNKNOWN_FILE_TYPE), VFW_E_CANNOT_RENDER without a video stream, a decoder or
    /// that renderer, VFW_E_CANNOT_CONNECT when the renderer refuses the type.
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
};

class IMediaControl : public IUnknown
{
public:
    /// Starts (or resumes) the graph clock. From stopped, returns once the first frame has
    /// been handed over (S_FALSE when the renderer kept it for more than two seconds).
    virtual HRESULT Run() = 0;
    /// Holds the clock; from stopped, returns once the first frame has been handed over.
    virtual HRESULT Pause() = 0;
    /// Ends the decode thread (waiting for it) and rewinds to the start.
    virtual HRESULT Stop() = 0;
};

class IMediaEventEx : public IUnknown
{
public:
    /// The oldest event; E_ABORT when none arrives within timeout milliseconds (INFINITE:
    /// waits). Pass the parameters to FreeEventParams afterwards.
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout) = 0;
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

class IMediaPosition : public IUnknown
{
public:
    virtual HRESULT get_Duration(REFTIME* length) = 0;
    /// The stream time the graph clock has reached, in seconds (at most the duration).
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
};

// ---- COM --------------------------------------------------------------------------------------

/// S_OK the first time, S_FALSE when already initialised; each call needs its CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
/// Only CLSID_FilterGraph is known (REGDB_E_CLASSNOTREG otherwise); outer must be null.
HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid, void** object);

// ---- The base video renderer ------------------------------------------------------------------

/// A renderer filter: a derived class decides which media types it takes and draws each
/// sample. Reference-counted from 0: the graph's AddFilter holds the first reference, and
/// the last Release deletes the filter.
class CBaseVideoRenderer : public IBaseFilter
{
public:
    CBaseVideoRenderer(REFCLSID classId, const char* name, IUnknown* outer, HRESULT* result);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetClassID(CLSID* classId) override;

    /// S_OK when the type is acceptable.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    /// The connection's type, after CheckMediaType accepted it.
    virtual HRESULT SetMediaType(const CMediaType* type);
    /// On the decode thread, for every frame in turn.
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

protected:
    ~CBaseVideoRenderer() override;

private:
    CLSID mClassId;
    std::atomic<std::intptr_t> mReferences = 0; ///< the decode thread holds one while it draws
};
