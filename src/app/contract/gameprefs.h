// GamePrefs: the player's preference words (pad, axes, mouse speed, volumes, shoot helper),
// stored in "gprefs.dat" and in saves, and applied to the input, the weapons, the sound and
// the display.
#pragma once

#include <cstdint>

class HbSaveFile;

class GamePrefs
{
public:
    /// The file in the player's folder: the seven stored values, 4 bytes each, little-endian.
    static constexpr const char* kFileName = "gprefs.dat";
    static constexpr int32_t kFileSize = 28;
    /// The mouse speed a file or a save may hold (the options offer 0 to 3).
    static constexpr float kMaxMouseSensitivity = 10.0f;

    /// The defaults; switches the weapons' and the follow camera's shoot helper off.
    GamePrefs();
    /// The defaults without touching the shoot helpers (records that only carry preferences).
    enum Quiet
    {
        kQuiet
    };
    explicit GamePrefs(Quiet) {}

    /// Reads "gprefs.dat" from the player's folder (never from a pack). 1 when read; 0 when it
    /// cannot be opened, or when it is not 28 bytes or holds a value out of its range (InRange):
    /// the fields then stay as they were, with a message on the error stream.
    int32_t Load();
    /// Replaces "gprefs.dat" in the player's folder whole (the old file stays when the write
    /// fails) with the values brought into their ranges (Bounded), so that Load takes back
    /// whatever Save wrote; a folder that cannot be written is reported once on the error stream.
    void Save() const;
    /// Pad rumble and axes (or mouse axes and speed), the shoot helpers, the volumes (each
    /// clamped to 0..1), the display preferences, then Save. The stored values stay as they
    /// are. Returns 1.
    int32_t Apply() const;
    /// For difficulty 0, 1 or 2 the shoot helper and the reserved word become 0; then the
    /// shoot helper goes to the weapons and the follow camera.
    void ApplyDifficulty(int32_t difficulty);
    /// The seven stored values over a save stream; 0 as soon as one step fails.
    int32_t Write(HbSaveFile* stream) const;
    int32_t Read(HbSaveFile* stream);

    /// The 28 bytes of the file; `out` holds kFileSize bytes.
    void Encode(uint8_t* out) const;
    /// Takes the values from 28 bytes when every value is usable; 1, else 0 with nothing changed.
    int32_t Decode(const uint8_t* bytes, int32_t size);
    /// The switches (vibration, both inversions, shoot helper) 0 or 1, the volumes in 0..1, the
    /// mouse speed in 0..kMaxMouseSensitivity: what the game itself ever stores.
    bool InRange() const;
    /// A copy whose switches are 0 or 1 (any nonzero value 1) and whose mouse speed and volumes
    /// are clamped to their ranges (not-a-number gives the low end).
    GamePrefs Bounded() const;

    int32_t padVibration = 1;
    int32_t invertY = 0;
    int32_t invertX = 0;
    float mouseSensitivity = 1.0f;
    float musicVolume = 1.0f;
    float soundVolume = 1.0f;
    int32_t shootHelper = 0;
    /// Never stored.
    int32_t reserved = 0;
};
