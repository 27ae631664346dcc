// The game's console commands: resource declarations, controller bindings, the loading-screen
// switch, screenshots, two cheats and the animated-material commands.
#include "gamecommands.h"

#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "hbuserfolder.h"
#include "resourcegroups.h"
#include "wanimatedtextureset.h"
#include "wrenderer.h"

#include "camera.h"
#include "image.h"
#include "raster.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
int32_t sAddResourceMode = 0;
int32_t sAllowLoadingTick = 0;
int32_t sGod = 0;
int32_t sGodLife = -1;
int32_t sScreenshotCounter = 0;

// Leading decimal digits (with a sign); none give 0.
int32_t Integer(const std::string& token)
{
    return static_cast<int32_t>(std::strtol(token.c_str(), nullptr, 10));
}

void Console(const char* line)
{
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine(line);
}

WAnimatedTexture* AnimatedTexture(const std::string& name)
{
    WRenderer* renderer = WRenderer::Existing();
    WAnimatedTextureSet* set = renderer ? renderer->GetAnimatedTextures() : nullptr;
    return set ? set->Find(name.c_str()) : nullptr;
}

class AllowLoadingTickCommand : public HbCommand
{
public:
    AllowLoadingTickCommand() : HbCommand("allowLoadingTick", "Allow the use of Tick Loading \n ") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        sAllowLoadingTick = 1;
        return 1;
    }
};

class ScreenshotCommand : public HbCommand
{
public:
    ScreenshotCommand() : HbCommand("screenshot", "Do a Screenshot\n ") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        WRenderer* renderer = WRenderer::Existing();
        Camera* camera = renderer && renderer->GetScene() ? renderer->GetMainCamera() : nullptr;
        Raster* raster = camera ? camera->frameBuffer : nullptr;
        if (!raster)
            return 1;
        Image* image = Image::Create(raster->width, raster->height, 32);
        if (!image)
            return 1;
        if (Image::AllocatePixels(image) && Image::SetFromRaster(image, raster))
        {
            // Screenshots are the player's: they go to the player's folder, never the content.
            char name[64];
            std::snprintf(name, sizeof(name), "screenshot_%d.bmp", sScreenshotCounter);
            while (HbFileExists(HbUserPath(name).c_str()))
                std::snprintf(name, sizeof(name), "screenshot_%d.bmp", ++sScreenshotCounter);
            Image::RegisterFileFormat("bmp", nullptr, GameWriteBmp);
            if (HbUserFolderMake())
                Image::Write(image, HbUserPath(name).c_str());
        }
        Image::Destroy(image);
        return 1;
    }
};

class AddResourceSetModeCommand : public HbCommand
{
public:
    AddResourceSetModeCommand() : HbCommand("add_ressource_set_mode", "Set the mode of the 'add_ressource' command\n ")
    {
    }
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 2)
            if (const int32_t mode = Integer(args.GetToken(1)); mode >= 0 && mode <= 4)
                sAddResourceMode = mode;
        return 1;
    }
};

class AddResourceCommand : public HbCommand
{
public:
    AddResourceCommand() : HbCommand("add_ressource", "Add a ressource Id\n ") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        // A line cut short (a truncated group script) declares nothing and says so.
        if (args.GetCount() != 3)
            return 0;
        const char* id = args.GetToken(1).c_str();
        const char* path = args.GetToken(2).c_str();
        if (sAddResourceMode == 0)
        {
            if (HbResourceManager* resources = HbResourceManager::Instance())
                resources->AddPath(id, path);
        }
        else if (sAddResourceMode == 3)
            ResourceGroupAddResource(id, path);
        return 1;
    }
};

class BindCommand : public HbCommand
{
public:
    BindCommand()
        : HbCommand("bind", "bindCommand {controler}{key}{command}  bind a key or a paddle button with a command\n ")
    {
    }
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 5)
            return 0;
        HbInputManager* input = HbInputManager::Instance();
        if (!input)
            return 1;
        const int32_t kind = input->FindControllerKind(args.GetToken(1).c_str());
        if (kind == 0)
            return 1;
        HbCommandManager* commands = HbCommandManager::Instance();
        HbCommand* command = commands ? commands->FindCommand(args.GetToken(2).c_str()) : nullptr;
        const int32_t state = input->GetActionStateId(args.GetToken(4).c_str());
        if (state == 0)
            return 1;
        input->Bind(kind, args.GetToken(2).c_str(), args.GetToken(3).c_str(), state, command);
        return 1;
    }
};

class GodCommand : public HbCommand
{
public:
    GodCommand() : HbCommand("God", "Hero is ... a God : God <LifeLevel>") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 2)
        {
            sGod = 1;
            sGodLife = Integer(args.GetToken(1));
            Console("log God_ON");
            return 1;
        }
        sGodLife = -1;
        sGod = sGod ? 0 : 1;
        Console(sGod ? "log God_ON" : "log God_OFF");
        return 1;
    }
};

class FullAmmoCommand : public HbCommand
{
public:
    FullAmmoCommand() : HbCommand("FullAmmo", "Set unlimited Ammo") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        GameStateManager* manager = GameStateManager::Existing();
        GameState* state = manager ? manager->GetCurrentState() : nullptr;
        GameProfile* profile = state ? state->GetProfile() : nullptr;
        if (!profile)
            return 1;
        profile->unlimitedAmmo = profile->unlimitedAmmo ? 0 : 1;
        Console(profile->unlimitedAmmo ? "log FullAmmo_ON" : "log FullAmmo_OFF");
        return 1;
    }
};

class AnimMatSetFrameCommand : public HbCommand
{
public:
    AnimMatSetFrameCommand() : HbCommand("AnimMatSetFrame", "set the current frame for an animated material!") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 3)
            if (WAnimatedTexture* texture = AnimatedTexture(args.GetToken(1)))
                texture->SetFrame(Integer(args.GetToken(2)));
        return 1;
    }
};

class AnimMatNextFrameCommand : public HbCommand
{
public:
    AnimMatNextFrameCommand() : HbCommand("AnimMatNextFrame", "set the next frame of an animated material!") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 2)
            if (WAnimatedTexture* texture = AnimatedTexture(args.GetToken(1)))
                texture->StepFrame();
        return 1;
    }
};

class AnimMatStartAutoModeCommand : public HbCommand
{
public:
    AnimMatStartAutoModeCommand() : HbCommand("AnimMatStartAutoMode", "start auto mode!") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 2)
            if (WAnimatedTexture* texture = AnimatedTexture(args.GetToken(1)))
                texture->Play();
        return 1;
    }
};

class AnimMatStopAutoModeCommand : public HbCommand
{
public:
    AnimMatStopAutoModeCommand() : HbCommand("AnimMatStopAutoMode", "stop the auto mode on the given frame!") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 3)
            if (WAnimatedTexture* texture = AnimatedTexture(args.GetToken(1)))
            {
                texture->Stop();
                texture->SetFrame(Integer(args.GetToken(2)));
            }
        return 1;
    }
};

AllowLoadingTickCommand sAllowLoadingTickCommand;
ScreenshotCommand sScreenshotCommand;
AddResourceSetModeCommand sAddResourceSetModeCommand;
AddResourceCommand sAddResourceCommand;
BindCommand sBindCommand;
GodCommand sGodCommand;
FullAmmoCommand sFullAmmoCommand;
AnimMatSetFrameCommand sAnimMatSetFrameCommand;
AnimMatNextFrameCommand sAnimMatNextFrameCommand;
AnimMatStartAutoModeCommand sAnimMatStartAutoModeCommand;
AnimMatStopAutoModeCommand sAnimMatStopAutoModeCommand;

void PutLittle(std::vector<uint8_t>& bytes, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
} // namespace

int32_t GameCommandsGetAddResourceMode()
{
    return sAddResourceMode;
}

int32_t GameCommandsGetAllowLoadingTick()
{
    return sAllowLoadingTick;
}

int32_t GameCommandsGetGod()
{
    return sGod;
}

int32_t GameCommandsGetGodLife()
{
    return sGodLife;
}

int32_t GameCommandsGetScreenshotCounter()
{
    return sScreenshotCounter;
}

void GameCommandsReset()
{
    sAddResourceMode = 0;
    sAllowLoadingTick = 0;
    sGod = 0;
    sGodLife = -1;
    sScreenshotCounter = 0;
}

Image* GameWriteBmp(Image* image, const char* name)
{
    if (!image || !name || image->depth != 32 || !image->pixels || image->width <= 0 || image->height <= 0)
        return nullptr;
    const uint32_t rowBytes = (static_cast<uint32_t>(image->width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(image->height);
    std::vector<uint8_t> bytes;
    bytes.reserve(54 + pixelBytes);
    bytes.push_back('B');
    bytes.push_back('M');
    PutLittle(bytes, 54 + pixelBytes, 4);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, 54, 4);
    PutLittle(bytes, 40, 4);
    PutLittle(bytes, static_cast<uint32_t>(image->width), 4);
    PutLittle(bytes, static_cast<uint32_t>(image->height), 4);
    PutLittle(bytes, 1, 2);
    PutLittle(bytes, 24, 2);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, pixelBytes, 4);
    PutLittle(bytes, 2835, 4);
    PutLittle(bytes, 2835, 4);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, 0, 4);
    // Rows bottom up, blue green red.
    for (int32_t y = image->height - 1; y >= 0; --y)
    {
        const uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
        for (int32_t x = 0; x < image->width; ++x)
        {
            bytes.push_back(row[4 * x + 2]);
            bytes.push_back(row[4 * x + 1]);
            bytes.push_back(row[4 * x + 0]);
        }
        for (uint32_t pad = static_cast<uint32_t>(image->width) * 3; pad < rowBytes; ++pad)
            bytes.push_back(0);
    }
    HbFile* file = HbFileOpen(name, "wb");
    if (!file)
        return nullptr;
    const size_t written = HbFileWrite(bytes.data(), 1, bytes.size(), file);
    HbFileClose(file);
    return written == bytes.size() ? image : nullptr;
}
