// The preferences: gprefs.dat, save streams and their application.
#include "gameprefs.h"

#include "gameservices.h"
#include "hbcontroller.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "hbmousecontroller.h"
#include "hbpadcontroller.h"
#include "hbsavefile.h"
#include "hbuserfolder.h"
#include "shoothelper.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{
void PutWord(uint8_t* out, uint32_t word)
{
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
}

uint32_t GetWord(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

float BitsFloat(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

float ClampTo(float value, float high)
{
    // NaN (from a save stream) gives 0 as well.
    return value > 0.0f ? (value < high ? value : high) : 0.0f;
}

float Clamp01(float value)
{
    return ClampTo(value, 1.0f);
}
} // namespace

GamePrefs::GamePrefs()
{
    SetShootHelper(0);
    SetCameraShootHelper(0);
}

void GamePrefs::Encode(uint8_t* out) const
{
    PutWord(out + 0, static_cast<uint32_t>(padVibration));
    PutWord(out + 4, static_cast<uint32_t>(invertY));
    PutWord(out + 8, static_cast<uint32_t>(invertX));
    PutWord(out + 12, FloatBits(mouseSensitivity));
    PutWord(out + 16, FloatBits(musicVolume));
    PutWord(out + 20, FloatBits(soundVolume));
    PutWord(out + 24, static_cast<uint32_t>(shootHelper));
}

int32_t GamePrefs::Decode(const uint8_t* bytes, int32_t size)
{
    if (!bytes || size != kFileSize)
        return 0;
    GamePrefs read = *this;
    read.padVibration = static_cast<int32_t>(GetWord(bytes + 0));
    read.invertY = static_cast<int32_t>(GetWord(bytes + 4));
    read.invertX = static_cast<int32_t>(GetWord(bytes + 8));
    read.mouseSensitivity = BitsFloat(GetWord(bytes + 12));
    read.musicVolume = BitsFloat(GetWord(bytes + 16));
    read.soundVolume = BitsFloat(GetWord(bytes + 20));
    read.shootHelper = static_cast<int32_t>(GetWord(bytes + 24));
    if (!read.InRange())
        return 0;
    *this = read;
    return 1;
}

bool GamePrefs::InRange() const
{
    auto isSwitch = [](int32_t value) { return value == 0 || value == 1; };
    // Written as negated ranges so that NaN fails them too.
    auto within = [](float value, float high) { return value >= 0.0f && value <= high; };
    return isSwitch(padVibration) && isSwitch(invertY) && isSwitch(invertX) && isSwitch(shootHelper) &&
           within(mouseSensitivity, kMaxMouseSensitivity) && within(musicVolume, 1.0f) && within(soundVolume, 1.0f);
}

GamePrefs GamePrefs::Bounded() const
{
    GamePrefs out = *this;
    auto toSwitch = [](int32_t value) { return value != 0 ? 1 : 0; };
    out.padVibration = toSwitch(padVibration);
    out.invertY = toSwitch(invertY);
    out.invertX = toSwitch(invertX);
    out.shootHelper = toSwitch(shootHelper);
    out.mouseSensitivity = ClampTo(mouseSensitivity, kMaxMouseSensitivity);
    out.musicVolume = Clamp01(musicVolume);
    out.soundVolume = Clamp01(soundVolume);
    return out;
}

int32_t GamePrefs::Load()
{
    // From the disk only: Save writes there, and a copy in a pack would hide the player's
    // own file for ever.
    HbFile* file = HbFileFromDisk(HbUserPath(kFileName).c_str(), "rb");
    if (!file)
        return 0;
    uint8_t bytes[kFileSize + 1];
    const size_t got = HbFileRead(bytes, 1, sizeof(bytes), file);
    HbFileClose(file);
    if (!Decode(bytes, static_cast<int32_t>(got)))
    {
        std::fprintf(stderr, "%s: not %d bytes of usable preferences; the defaults stay\n",
                     HbUserPath(kFileName).c_str(), kFileSize);
        return 0;
    }
    return 1;
}

void GamePrefs::Save() const
{
    uint8_t bytes[kFileSize];
    Bounded().Encode(bytes);
    if (!HbUserFileWrite(kFileName, bytes, sizeof(bytes)))
        HbUserFolderReportUnwritable();
}

int32_t GamePrefs::Apply() const
{
    HbInputManager* input = HbInputManager::Instance();
    if (input && input->IsPadPresent())
    {
        if (auto* pad = HbCastTo<HbPadController>(input->GetController(kHbControllerPad1)))
        {
            pad->SetVibrationEnabled(padVibration);
            pad->SetAxisInverted(2, 1, invertY);
            pad->SetAxisInverted(2, 0, invertX);
        }
    }
    else if (input)
    {
        if (auto* mouse = HbCastTo<HbMouseController>(input->GetController(kHbControllerMouse)))
        {
            mouse->SetAxisInverted(0, 0, invertX);
            mouse->SetAxisInverted(0, 1, invertY);
            mouse->SetSensitivity(mouseSensitivity);
        }
    }
    SetShootHelper(shootHelper);
    SetCameraShootHelper(shootHelper);
    GameServices& services = GameServicesTable();
    services.soundApplyVolumes(Clamp01(musicVolume), Clamp01(soundVolume));
    services.rendererSaveVideoPrefs();
    Save();
    return 1;
}

void GamePrefs::ApplyDifficulty(int32_t difficulty)
{
    if (difficulty >= 0 && difficulty <= 2)
    {
        shootHelper = 0;
        reserved = 0;
    }
    SetShootHelper(shootHelper);
    SetCameraShootHelper(shootHelper);
}

int32_t GamePrefs::Write(HbSaveFile* stream) const
{
    return stream && stream->WriteInt32(padVibration) && stream->WriteInt32(invertY) && stream->WriteInt32(invertX) &&
                   stream->WriteReal(mouseSensitivity) && stream->WriteReal(musicVolume) &&
                   stream->WriteReal(soundVolume) && stream->WriteInt32(shootHelper)
               ? 1
               : 0;
}

int32_t GamePrefs::Read(HbSaveFile* stream)
{
    return stream && stream->ReadInt32(padVibration) && stream->ReadInt32(invertY) && stream->ReadInt32(invertX) &&
                   stream->ReadReal(mouseSensitivity) && stream->ReadReal(musicVolume) &&
                   stream->ReadReal(soundVolume) && stream->ReadInt32(shootHelper)
               ? 1
               : 0;
}
