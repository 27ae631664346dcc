// Helpers for the user-interface tests: the real and game clocks set by hand, input actions bound on an
// injected keyboard (each binding raises the input manager's binding counter), text resources and
// solid textures declared in a folder of the test's own, and the 2D surfaces drawn and read back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class W2dSurfaceList;

namespace uitest
{

// ---- Clocks -----------------------------------------------------------------------------------------------

/// Ticks of the performance counter in the seconds.
int64_t Ticks(double seconds);

/// Both clocks under the test's hand while it lives: the real clock's current time and the game time
/// are set directly (nothing ticks them), and put back as they were at the end.
class Clocks
{
public:
    Clocks();
    ~Clocks();
    Clocks(const Clocks&) = delete;
    Clocks& operator=(const Clocks&) = delete;

    void SetReal(int64_t ticks);
    void AdvanceReal(int64_t ticks);
    int64_t Real() const;
    void SetGame(int64_t ticks);
    void AdvanceGame(int64_t ticks);
    int64_t Game() const;

private:
    int64_t mSavedReal;
    int64_t mSavedGame;
};

// ---- Input ------------------------------------------------------------------------------------------------

/// A keyboard in slot 0 of the input manager, in a command context of its own, with keys pressed by
/// the scripted window system. The manager is reset at both ends.
class InjectedInput
{
public:
    InjectedInput();
    ~InjectedInput();
    InjectedInput(const InjectedInput&) = delete;
    InjectedInput& operator=(const InjectedInput&) = delete;

    /// Binds the action to a key ("VK_RETURN", "VK_A") in a state ("DOWN", "CLICK"...); raises the
    /// binding counter. False when nothing was bound.
    bool Bind(const char* action, const char* keyText, const char* state = "DOWN");
    /// A virtual key goes down or up; seen from the next Frame on.
    void Press(uint8_t virtualKey);
    void Lift(uint8_t virtualKey);
    /// The input manager reads the keys once: the manager's Update.
    int Frame();
    /// 1 when the action fires this frame, 0 when not, -1 when no action has the name.
    static int Triggered(const char* action);
};

// ---- Resources ----------------------------------------------------------------------------------------------

/// Files of the test's own under a fresh temporary folder, declared to the resource manager; the
/// declarations and the folder go at the end.
class Resources
{
public:
    Resources();
    ~Resources();
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    /// A text resource (an identifier ending in "_TXT") holding the text.
    void Text(const char* id, const std::string& text);
    /// A PNG texture of one colour (0xAARRGGBB) declared under the identifier.
    void SolidTexture(const char* id, int32_t width, int32_t height, uint32_t argb);
    /// A PNG texture of the pixels (0xAARRGGBB, top row first) declared under the identifier.
    void ImageTexture(const char* id, int32_t width, int32_t height, const std::vector<uint32_t>& argb);
    /// A bitmap font declared under the identifier, so that drawn text shows where it lies: every
    /// printable character but the space is a solid box of white ink kInkFontWidth text heights
    /// wide and one text height high, standing on the baseline; the space is as wide and blank.
    void InkFont(const char* id);

private:
    void Declare(const char* id, const std::string& path);

    std::string mFolder;
    std::vector<std::string> mIds;
};

/// The width of every character of Resources::InkFont, in text heights.
constexpr float kInkFontWidth = 1.0f;

// ---- Sounds -------------------------------------------------------------------------------------------------

/// The sound layer started on our FMOD layer's null output with a tone (a twentieth of a second
/// unless told) declared under each identifier, and the layer's call log on; closed, undeclared
/// and the log reset at the end.
class Sounds
{
public:
    explicit Sounds(std::initializer_list<const char*> ids, double seconds = 0.05);
    /// One more sound, a tone of its own length.
    void Declare(const char* id, double seconds);
    ~Sounds();
    Sounds(const Sounds&) = delete;
    Sounds& operator=(const Sounds&) = delete;

    /// False when the layer did not start.
    bool Started() const { return mStarted; }
    /// The identifiers of the sounds played since the start or the last Clear, in order, read from
    /// the samples the call log shows loaded and played.
    std::vector<std::string> Played();
    void Clear();

private:
    void Read();

    std::string mFolder;
    std::vector<std::string> mIds;
    std::vector<std::pair<std::string, std::string>> mSamples; ///< the log's sample name, its identifier
    std::vector<std::string> mPlayed;
    size_t mRead = 0;
    bool mStarted = false;
};

// ---- Frames -------------------------------------------------------------------------------------------------

/// The list's surfaces drawn through its camera into the cleared frame buffer (clear colour
/// 0xAARRGGBB), read back top row first as 0xFFRRGGBB; empty when the frame cannot be read.
std::vector<uint32_t> DrawSurfaces(W2dSurfaceList* list, uint32_t clear, int32_t* width, int32_t* height);

/// A frame of one colour to paint references on.
struct Reference
{
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;

    Reference(int32_t w, int32_t h, uint32_t clear) : width(w), height(h), pixels(size_t(w) * size_t(h), clear) {}
    /// Paints the screen-fraction rectangle (top left x, y) with the colour at the alpha over what is
    /// there; pixel centres inside the rectangle are painted.
    void Fill(float x, float y, float w, float h, uint32_t rgb, uint8_t alpha = 255);
    /// Pixels whose centre lies within the margin (pixels) of the rectangle's edges are taken from the
    /// actual frame: edges that fall between pixels are not compared.
    void IgnoreEdges(float x, float y, float w, float h, const std::vector<uint32_t>& actual, float margin = 1.0f);
};

} // namespace uitest
