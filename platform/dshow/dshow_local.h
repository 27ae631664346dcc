// Private to our DirectShow layer: the call log and faults, and the decoder over FFmpeg
// that the filter graph drives.
#pragma once

#include "dshow.h"

#include <memory>
#include <string>

namespace dshow
{

// ---- Call log and faults (dshowcom.cpp) ------------------------------------------------------

bool CallLogOn();
void LogCall(std::string entry);
/// True (and the result set) when a fault waits for the call of that name.
bool TakeFault(const char* name, HRESULT* result);
bool TopDownWanted();
LONG SampleShortening();
void NoteGraph(int delta);
void NoteDelivered();
/// A decode wrote past the sample's frame into its guard band.
void NoteGuardBroken();
/// "IMediaControl" and the like, for the log.
std::string InterfaceName(REFIID iid);

// ---- The filter graph (dshowgraph.cpp) -------------------------------------------------------

/// A new graph answering iid (one reference), or E_NOINTERFACE.
HRESULT CreateFilterGraph(REFIID iid, void** object);

// ---- Decoder (dshowdecode.cpp) ---------------------------------------------------------------

/// The first video stream of a file decoded into 24-bit rows (blue, green, red bytes).
class Decoder
{
public:
    Decoder();
    ~Decoder();
    /// S_OK, HRESULT_FILE_NOT_FOUND, VFW_E_UNKNOWN_FILE_TYPE, or VFW_E_CANNOT_RENDER when
    /// the file has no video stream or no decoder for it.
    HRESULT Open(const std::string& path);
    int Width() const;
    int Height() const;
    REFERENCE_TIME AvgTimePerFrame() const;
    /// 0 when the file does not say.
    REFERENCE_TIME Duration() const;
    /// The next frame into rows pitch bytes apart, the bottom row first when bottomUp;
    /// its start time from the stream's start. False at the end or on a decoding error.
    bool Next(uint8_t* rows, int pitch, bool bottomUp, REFERENCE_TIME* start);
    /// Back to the first frame.
    bool Rewind();

private:
    struct State;
    std::unique_ptr<State> mState;
};

/// A UTF-16 path as a disk path: separators become '/', and components that do not exist
/// as written are matched ignoring ASCII case.
std::string DiskPath(LPCWSTR path);

} // namespace dshow
