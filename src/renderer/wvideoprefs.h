// The display settings the game asks for, and the display preferences file vprefs.dat that
// keeps them with the gamma between runs.
#pragma once

#include <cstdint>

/// Also the head of vprefs.dat.
struct WDisplaySettings
{
    enum DepthKind : int32_t
    {
        kDepth16 = 0,
        kDepth32 = 1,
        kDepthNotSet = 2,
    };

    int32_t windowed; ///< 0 full screen, 1 windowed
    int32_t width;
    int32_t height;
    int32_t depthKind;

    friend bool operator==(const WDisplaySettings&, const WDisplaySettings&) = default;
};

/// The contents of vprefs.dat: 20 bytes, little-endian, no header: windowed, width, height
/// and depth kind as int32, then the gamma as a float32.
struct WVideoPrefs
{
    static constexpr int32_t kFileSize = 20;
    /// A gamma from the file outside this range (or not finite) is taken as 1.0: the texture
    /// correction divides by it and builds tables from it.
    static constexpr float kMinGamma = 0.1f;
    static constexpr float kMaxGamma = 10.0f;

    WDisplaySettings settings = {0, -1, -1, WDisplaySettings::kDepthNotSet};
    char fileName[128] = "vprefs.dat";
    float appliedGamma = 1.0f; ///< the gamma the textures carry
    float wantedGamma = 1.0f;  ///< the gamma read from the file or set by the options

    /// A record worth handing to the mode selection: a positive size and a depth kind that is
    /// set. The selection itself refuses what no mode can match (a depth kind other than 16
    /// or 32 bits for a full-screen request).
    static bool IsValid(const WDisplaySettings& settings);
    /// The gamma as stored when it is finite and in range, else 1.0.
    static float SaneGamma(float gamma);

    /// Reads the file of the player's folder through the framework's file layer (pack archives
    /// first). 1 when a whole
    /// record was read: settings and wantedGamma are then the file's; 0 for a file that cannot
    /// be opened or holds fewer than 20 bytes, and nothing changes. Bytes past the record are
    /// not read.
    int32_t Read();
    /// Replaces the file of the player's folder with settings and wantedGamma, whole or not at all.
    /// 1, or 0 when it cannot be written (reported once on the error stream).
    int32_t Write() const;
};
