// The spline curve writer.
#include "splinewriter.h"

#include "writerbytes_local.h"

std::vector<uint8_t> SplineWriter::Body(const std::string& name, int32_t type, const std::vector<Vector>& points)
{
    WriterBytes w;
    for (size_t i = 0; i < 32; ++i)
        w.out.push_back(i < name.size() ? uint8_t(name[i]) : 0);
    w.U32(uint32_t(points.size()));
    w.U32(uint32_t(type));
    for (const Vector& p : points)
    {
        w.Real(p.x);
        w.Real(p.y);
        w.Real(p.z);
    }
    return w.out;
}

std::vector<uint8_t> SplineWriter::Chunk(const std::string& name, int32_t type, const std::vector<Vector>& points)
{
    WriterBytes w;
    w.Chunk(12, Body(name, type, points));
    return w.out;
}
