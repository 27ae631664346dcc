// The mobile-DOF parameter writer.
#include "mdfwriter.h"

#include "hbchunkstream.h"
#include "skeletonwriter.h"

std::vector<uint8_t> MdfWriter::Bytes(const MdfRecord& record, uint32_t key2, uint32_t value)
{
    constexpr uint32_t kChunk = 4146;
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream stream(buffer);
    int ok = stream.BeginChunk(kChunk, 0, key2, value) != 0;
    for (float t : record.openTimes)
        ok = ok && stream.WriteReal(t);
    if (key2 != 0)
        for (float t : record.closeTimes)
            ok = ok && stream.WriteReal(t);
    ok = ok && stream.WriteReal(record.spinStart) && stream.WriteReal(record.spinEnd);
    for (float a : record.spinAxis)
        ok = ok && stream.WriteReal(a);
    ok = ok && stream.WriteInt32(record.spare);
    for (const std::string& name : record.names)
        ok = ok && HbWriteCStringToStream(&stream, name.c_str());
    ok = stream.EndChunk() != 0 && ok;
    return ok ? buffer->Bytes() : std::vector<uint8_t>();
}
