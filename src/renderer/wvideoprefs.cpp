// The display preferences file.
#include "wvideoprefs.h"

#include "hbfile.h"
#include "hbuserfolder.h"

#include <cmath>
#include <cstring>

namespace
{
int32_t ReadInt32(const uint8_t* bytes)
{
    return int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
}

void WriteInt32(uint8_t* bytes, int32_t value)
{
    uint32_t word = uint32_t(value);
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(word >> (8 * i));
}
} // namespace

bool WVideoPrefs::IsValid(const WDisplaySettings& settings)
{
    return settings.width > 0 && settings.height > 0 && settings.depthKind != WDisplaySettings::kDepthNotSet;
}

float WVideoPrefs::SaneGamma(float gamma)
{
    return std::isfinite(gamma) && gamma >= kMinGamma && gamma <= kMaxGamma ? gamma : 1.0f;
}

int32_t WVideoPrefs::Read()
{
    HbFile* file = HbFileOpen(HbUserPath(fileName).c_str(), "rb");
    if (!file)
        return 0;
    uint8_t bytes[kFileSize];
    size_t got = HbFileRead(bytes, 1, sizeof(bytes), file);
    HbFileClose(file);
    // A short file is ignored whole, so no half record is ever applied.
    if (got != sizeof(bytes))
        return 0;
    settings = {ReadInt32(bytes), ReadInt32(bytes + 4), ReadInt32(bytes + 8), ReadInt32(bytes + 12)};
    uint32_t gammaBits = uint32_t(ReadInt32(bytes + 16));
    float gamma;
    std::memcpy(&gamma, &gammaBits, sizeof(gamma));
    wantedGamma = SaneGamma(gamma);
    return 1;
}

int32_t WVideoPrefs::Write() const
{
    uint8_t bytes[kFileSize];
    WriteInt32(bytes, settings.windowed);
    WriteInt32(bytes + 4, settings.width);
    WriteInt32(bytes + 8, settings.height);
    WriteInt32(bytes + 12, settings.depthKind);
    uint32_t gammaBits;
    std::memcpy(&gammaBits, &wantedGamma, sizeof(gammaBits));
    WriteInt32(bytes + 16, int32_t(gammaBits));
    // Whole or not at all: a short file would be ignored at the next start.
    if (HbUserFileWrite(fileName, bytes, sizeof(bytes)))
        return 1;
    HbUserFolderReportUnwritable();
    return 0;
}
