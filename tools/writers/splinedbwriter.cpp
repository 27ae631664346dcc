// The spline database writer.
#include "splinedbwriter.h"

#include "splinewriter.h"
#include "writerbytes_local.h"

std::vector<uint8_t> SplineDbWriter::Write(const std::vector<SplineDbEntry>& entries, uint16_t firstWord,
                                           std::optional<int16_t> count)
{
    WriterBytes w;
    w.U16(firstWord);
    w.U16(uint16_t(count ? *count : int16_t(entries.size())));
    for (const SplineDbEntry& entry : entries)
    {
        w.U32(uint32_t(entry.slot));
        if (entry.withSpline)
            w.Append(SplineWriter::Chunk(entry.name, entry.type, entry.points));
        w.U32(uint32_t(entry.value));
    }
    return w.out;
}
