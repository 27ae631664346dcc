// Helpers for the user-interface tests.
#include "uisupport.h"

#include "fmod3testhooks.h"
#include "fontwriter.h"
#include "hbclock.h"
#include "hbcontroller.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "rasterreadback.h"
#include "tsfmod.h"
#include "w2dsurfacelist.h"
#include "win32testhooks.h"

#include "camera.h"
#include "image.h"
#include "pngimage.h"
#include "raster.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdlib.h>

namespace uitest
{

int64_t Ticks(double seconds)
{
    return int64_t(std::llround(seconds * double(HbPerformanceFrequency())));
}

// ---- Clocks -------------------------------------------------------------------------------------------------

Clocks::Clocks() : mSavedReal(HbRealClock::Instance()->mCurrentTime), mSavedGame(HbGameClock::Instance()->mGameTime) {}

Clocks::~Clocks()
{
    HbRealClock::Instance()->mCurrentTime = mSavedReal;
    HbGameClock::Instance()->mGameTime = mSavedGame;
}

void Clocks::SetReal(int64_t ticks)
{
    HbRealClock::Instance()->mCurrentTime = ticks;
}

void Clocks::AdvanceReal(int64_t ticks)
{
    HbRealClock::Instance()->mCurrentTime += ticks;
}

int64_t Clocks::Real() const
{
    return HbRealClock::Instance()->mCurrentTime;
}

void Clocks::SetGame(int64_t ticks)
{
    HbGameClock::Instance()->mGameTime = ticks;
}

void Clocks::AdvanceGame(int64_t ticks)
{
    HbGameClock::Instance()->mGameTime += ticks;
}

int64_t Clocks::Game() const
{
    return HbGameClock::Instance()->mGameTime;
}

// ---- Input --------------------------------------------------------------------------------------------------

InjectedInput::InjectedInput()
{
    HbInputManager* manager = HbInputManager::Instance();
    manager->Reset();
    manager->CreateController(0, "Keyboard");
    manager->PushCommandContext("UI_TEST");
}

InjectedInput::~InjectedInput()
{
    HbInputManager::Instance()->Reset();
}

bool InjectedInput::Bind(const char* action, const char* keyText, const char* state)
{
    // As a binding script does: the tables taken back, the line bound, the tables compiled again.
    HbInputManager* manager = HbInputManager::Instance();
    HbController* keyboard = manager->GetSlotController(0);
    if (!keyboard)
        return false;
    keyboard->BeginBindings();
    int bound = manager->BindFromText("Keyboard", action, keyText, state);
    keyboard->SetContextCount(manager->GetContextNameCount());
    keyboard->EndBindings();
    return bound == 1;
}

void InjectedInput::Press(uint8_t virtualKey)
{
    Win32TestKeyEvent(virtualKey, true);
}

void InjectedInput::Lift(uint8_t virtualKey)
{
    Win32TestKeyEvent(virtualKey, false);
}

int InjectedInput::Frame()
{
    return HbInputManager::Instance()->Update();
}

int InjectedInput::Triggered(const char* action)
{
    HbInputAction* found = HbInputManager::Instance()->FindAction(action);
    return found ? found->IsTriggered() : -1;
}

// ---- Resources ------------------------------------------------------------------------------------------------

Resources::Resources()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ui_resources_XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (mkdtemp(name.data()))
        mFolder = name.data();
}

Resources::~Resources()
{
    for (const std::string& id : mIds)
        HbResourceManager::Instance()->RemovePath(id.c_str());
    std::error_code ignored;
    if (!mFolder.empty())
        std::filesystem::remove_all(mFolder, ignored);
}

void Resources::Declare(const char* id, const std::string& path)
{
    HbResourceManager::Instance()->AddPath(id, path.c_str());
    mIds.push_back(id);
}

void Resources::Text(const char* id, const std::string& text)
{
    std::string path = mFolder + "/" + id + ".txt";
    if (FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    Declare(id, path);
}

void Resources::SolidTexture(const char* id, int32_t width, int32_t height, uint32_t argb)
{
    ImageTexture(id, width, height, std::vector<uint32_t>(size_t(width) * size_t(height), argb));
}

void Resources::ImageTexture(const char* id, int32_t width, int32_t height, const std::vector<uint32_t>& argb)
{
    if (argb.size() != size_t(width) * size_t(height))
        return;
    Image* image = Image::Create(width, height, 32);
    if (!image)
        return;
    Image::AllocatePixels(image);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            uint32_t c = argb[size_t(y) * size_t(width) + size_t(x)];
            uint8_t* p = image->pixels + y * image->stride + 4 * x;
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
        }
    std::string path = mFolder + "/" + id + ".png";
    Png::WriteImage(image, path.c_str());
    Image::Destroy(image);
    Declare(id, path);
}

void Resources::InkFont(const char* id)
{
    // Cells of 10 x 10 texels of ink, the space first so that its cell is the top left one.
    FontWriterSection section;
    section.texture = std::string(id) + "_ink";
    section.baseline = 0;
    section.pitch = 12;
    section.width = 128;
    for (uint32_t code = 32; code < 127; ++code)
        section.cells.push_back({code, 10});
    std::vector<FontWriterSheet> sheets;
    const std::string text = FontWriter::Metrics2({section}, &sheets);
    if (text.empty() || sheets.size() != 1)
        return;
    FontWriterSheet& sheet = sheets[0];
    for (int32_t row = 2; row < section.pitch; ++row)
        for (int32_t column = 2; column < 2 + 10; ++column)
            std::memcpy(&sheet.rgba[(size_t(row) * size_t(sheet.width) + size_t(column)) * 4], section.paper, 4);
    const std::string base = mFolder + "/" + section.texture;
    if (!FontWriter::WriteText(base + ".met", text) || !FontWriter::WritePng(base + ".png", sheet))
        return;
    Declare(id, base + ".met");
}

// ---- Sounds ---------------------------------------------------------------------------------------------------

namespace
{
std::string MakeFolder(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

/// The text between the first pair of double quotes.
std::string Quoted(const std::string& args)
{
    size_t open = args.find('"');
    size_t close = open == std::string::npos ? open : args.find('"', open + 1);
    return close == std::string::npos ? std::string() : args.substr(open + 1, close - open - 1);
}
} // namespace

Sounds::Sounds(std::initializer_list<const char*> ids, double seconds) : mFolder(MakeFolder("ui_sounds_"))
{
    fmod3test::Reset();
    for (const char* id : ids)
        Declare(id, seconds);
    mStarted = TsFModStart() == 0;
    fmod3test::EnableCallLog(true);
}

void Sounds::Declare(const char* id, double seconds)
{
    std::string path = mFolder + "/" + id + ".wav";
    if (!fmod3test::WriteTone(path, fmod3test::ToneFormat::Wav16, 22050, 1, seconds, 440.0))
        return;
    HbResourceManager::Instance()->AddPath(id, path.c_str());
    mIds.push_back(id);
}

Sounds::~Sounds()
{
    TsFModClose();
    HbResourceManager* manager = HbResourceManager::Instance();
    for (const std::string& id : mIds)
        while (manager->GetPathCount(id.c_str()) > 0)
            manager->RemovePath(id.c_str());
    fmod3test::Reset();
    std::error_code ignored;
    if (!mFolder.empty())
        std::filesystem::remove_all(mFolder, ignored);
}

void Sounds::Read()
{
    const std::vector<fmod3test::Call>& log = fmod3test::CallLog();
    for (; mRead < log.size(); ++mRead)
    {
        const fmod3test::Call& call = log[mRead];
        if (call.name == "FSOUND_Sample_Load" && call.result != "null")
        {
            std::string file = std::filesystem::path(Quoted(call.args)).stem().string();
            mSamples.emplace_back(call.result, file);
        }
        else if (call.name == "FSOUND_PlaySound")
        {
            std::string sample = call.args.substr(call.args.find(", ") + 2);
            for (const auto& [name, id] : mSamples)
                if (name == sample)
                    mPlayed.push_back(id);
        }
    }
}

std::vector<std::string> Sounds::Played()
{
    Read();
    return mPlayed;
}

void Sounds::Clear()
{
    Read();
    mPlayed.clear();
    fmod3test::ClearCallLog();
    mRead = 0;
}

// ---- Frames ---------------------------------------------------------------------------------------------------

std::vector<uint32_t> DrawSurfaces(W2dSurfaceList* list, uint32_t clear, int32_t* width, int32_t* height)
{
    std::vector<uint32_t> pixels;
    Camera* camera = list ? list->GetCamera() : nullptr;
    if (!camera)
        return pixels;
    const Rgba colour = {uint8_t(clear >> 16), uint8_t(clear >> 8), uint8_t(clear), uint8_t(clear >> 24)};
    if (!Camera::Clear(camera, &colour, kCameraClearImage | kCameraClearZ) || !Camera::BeginUpdate(camera))
        return pixels;
    list->Render();
    Camera::EndUpdate(camera);
    pixels = framecheck::ReadRaster(camera->frameBuffer);
    if (!pixels.empty())
    {
        *width = camera->frameBuffer->width;
        *height = camera->frameBuffer->height;
    }
    return pixels;
}

namespace
{
uint32_t Blend(uint32_t below, uint32_t rgb, uint8_t alpha)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8)
    {
        float a = float(alpha) / 255.0f;
        float c = float((rgb >> shift) & 0xFF) * a + float((below >> shift) & 0xFF) * (1.0f - a);
        out |= uint32_t(std::lround(c)) << shift;
    }
    return out;
}
} // namespace

void Reference::Fill(float x, float y, float w, float h, uint32_t rgb, uint8_t alpha)
{
    for (int32_t py = 0; py < height; ++py)
    {
        float cy = (float(py) + 0.5f) / float(height);
        if (cy < y || cy >= y + h)
            continue;
        for (int32_t px = 0; px < width; ++px)
        {
            float cx = (float(px) + 0.5f) / float(width);
            if (cx < x || cx >= x + w)
                continue;
            uint32_t& pixel = pixels[size_t(py) * size_t(width) + size_t(px)];
            pixel = Blend(pixel, rgb, alpha);
        }
    }
}

void Reference::IgnoreEdges(float x, float y, float w, float h, const std::vector<uint32_t>& actual, float margin)
{
    if (actual.size() != pixels.size())
        return;
    const float left = x * float(width), right = (x + w) * float(width);
    const float top = y * float(height), bottom = (y + h) * float(height);
    for (int32_t py = 0; py < height; ++py)
        for (int32_t px = 0; px < width; ++px)
        {
            float cx = float(px) + 0.5f, cy = float(py) + 0.5f;
            bool insideX = cx > left - margin && cx < right + margin;
            bool insideY = cy > top - margin && cy < bottom + margin;
            bool nearX = std::fabs(cx - left) <= margin || std::fabs(cx - right) <= margin;
            bool nearY = std::fabs(cy - top) <= margin || std::fabs(cy - bottom) <= margin;
            if ((nearX && insideY) || (nearY && insideX))
            {
                size_t i = size_t(py) * size_t(width) + size_t(px);
                pixels[i] = actual[i];
            }
        }
}

} // namespace uitest
