// Subtitles of the cut-scene videos: a console script of AddSubTitle lines, each naming a
// text resource and the seconds during which it shows, read back in time order.
#pragma once

#include <cstdint>

class HbRoot;

struct TsSubtitle
{
    HbRoot* text;   ///< the text resource, one reference held
    float start;    ///< seconds into the video
    float duration; ///< seconds
    float height;   ///< line height, a fraction of the screen height
};

/// Rewinds to the first subtitle and runs "execute <name>" (the video's name with "_SUB").
/// Inverted answer: 1 when the console reports that the line failed, else 0.
int32_t TsSubtitlesLoad(const char* name);
/// The subtitle shown at time (strictly inside its span), or null. Subtitles are read in
/// their order: every one that has ended or starts exactly at the time is passed for good.
const TsSubtitle* TsSubtitlesGetAt(float time);
/// Releases every text and empties the list.
void TsSubtitlesClear();
/// Subtitles held, for inspection.
int32_t TsSubtitlesCount();
