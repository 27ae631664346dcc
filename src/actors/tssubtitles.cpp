// The subtitle list with its cursor, and the console command AddSubTitle that fills it.
#include "tssubtitles.h"

#include "hbcommand.h"
#include "hbmath.h"
#include "hbresource.h"
#include "hbroot.h"

#include <cfloat>
#include <string>
#include <vector>

namespace
{

std::vector<TsSubtitle> gSubtitles;
size_t gCursor = 0;

/// A decimal real as a float; values beyond the float range stop at its ends.
float ParseReal(const std::string& text)
{
    double value = HbAtoF(text.c_str());
    if (value > FLT_MAX)
        return FLT_MAX;
    if (value < -FLT_MAX)
        return -FLT_MAX;
    return float(value);
}

class AddSubTitleCommand : public HbCommand
{
public:
    AddSubTitleCommand() : HbCommand("AddSubTitle", "") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 5)
            return 1;
        HbResourceManager* resources = HbResourceManager::Instance();
        HbRoot* text = resources ? resources->AcquireResource(args.GetToken(1).c_str()) : nullptr;
        if (!text)
            return 1;
        float start = ParseReal(args.GetToken(2));
        float end = ParseReal(args.GetToken(3));
        gSubtitles.push_back({text, start, end - start, ParseReal(args.GetToken(4))});
        return 1;
    }
};

AddSubTitleCommand gAddSubTitleCommand;

} // namespace

int32_t TsSubtitlesLoad(const char* name)
{
    gCursor = 0;
    std::string line = std::string("execute ") + (name ? name : "");
    HbCommandManager* console = HbCommandManager::Instance();
    return console && console->ExecuteLine(line.c_str()) == HbCommandManager::kDone ? 0 : 1;
}

const TsSubtitle* TsSubtitlesGetAt(float time)
{
    for (; gCursor < gSubtitles.size(); ++gCursor)
    {
        const TsSubtitle& subtitle = gSubtitles[gCursor];
        if (subtitle.start > time)
            return nullptr;
        if (subtitle.start < time && time < subtitle.start + subtitle.duration)
            return &subtitle;
    }
    return nullptr;
}

void TsSubtitlesClear()
{
    for (TsSubtitle& subtitle : gSubtitles)
        subtitle.text->Release();
    gSubtitles.clear();
    gSubtitles.shrink_to_fit();
    gCursor = 0;
}

int32_t TsSubtitlesCount()
{
    return int32_t(gSubtitles.size());
}
