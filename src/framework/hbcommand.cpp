// Console commands: the tokenizer, the registry, the script reader and the
// built-in commands execute and help.
#include "hbcommand.h"

#include "hbfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t';
}

const std::string kEmpty;

// The scripts being run, outermost first, by their normalised names.
std::vector<std::string> gScriptStack;

// Names resolve case-insensitively with either separator, so "A\b.scr" and
// "./a/B.SCR" are one script.
std::string ScriptKey(const char* path)
{
    std::string key;
    for (const char* p = path; *p; ++p)
    {
        char c = *p == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        if (c == '/' && !key.empty() && key.back() == '/')
            continue;
        key += c;
        if (key == "./")
            key.clear();
        else if (key.size() >= 3 && key.compare(key.size() - 3, 3, "/./") == 0)
            key.resize(key.size() - 2);
    }
    return key;
}

// Lines the outermost running script and the scripts under it may still read;
// set when the outermost one starts. The path of the outermost one names the
// run in the message when the budget is spent.
int64_t gScriptLinesLeft = 0;
std::string gScriptOutermost;
bool gScriptBudgetSpent = false;

// The failures of the scripts run since the record was last taken; the count of the ones
// not kept.
constexpr size_t kMaxScriptFailures = 16;
std::vector<std::string> gScriptFailures;

void RecordScriptFailure(std::string text)
{
    if (gScriptFailures.size() < kMaxScriptFailures)
        gScriptFailures.push_back(std::move(text));
}

/// The script a walk runs and the line it has reached.
struct ScriptPlace
{
    const char* path;
    int64_t line;
};

int RunScriptLine(const char* line, HbTextLineWalker* walker)
{
    auto* place = static_cast<ScriptPlace*>(walker->context);
    ++place->line;
    if (gScriptLinesLeft <= 0)
    {
        if (!gScriptBudgetSpent)
            std::fprintf(stderr, "execute: %s and the scripts it runs read more than %lld lines; stopped\n",
                         gScriptOutermost.c_str(), static_cast<long long>(kHbMaxScriptLines));
        gScriptBudgetSpent = true;
        return 0;
    }
    --gScriptLinesLeft;
    if (line[0] != '#')
        if (HbCommandManager* manager = HbCommandManager::Instance())
            if (manager->ExecuteLine(line) != HbCommandManager::kDone)
            {
                HbCommandArgs args;
                args.Tokenize(line);
                RecordScriptFailure(std::string(place->path) + " line " + std::to_string(place->line) + ": " +
                                    args.GetToken(0));
            }
    return 1;
}

class ExecuteCommand : public HbCommand
{
public:
    ExecuteCommand() : HbCommand("execute", "Execute a script file\n ") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() == 2)
            HbExecuteScript(args.GetToken(1).c_str());
        return 1;
    }
};

class HelpCommand : public HbCommand
{
public:
    HelpCommand()
        : HbCommand("help", "help {string}  Send the list of all commands matching {string} to the debug window. "
                            "\"help all\" return all registered commands.")
    {
    }
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() > 2)
            return 0;
        HbCommandManager* manager = HbCommandManager::Instance();
        if (!manager)
            return 1;
        HbStringArray names;
        manager->ListMatching(args.GetCount() == 2 ? args.GetToken(1).c_str() : "", names);
        for (int32_t i = 0; i < names.GetCount(); ++i)
            HbCommandDebugOutput((names[i] + "\n").c_str());
        return 1;
    }
};

ExecuteCommand gExecuteCommand;
HelpCommand gHelpCommand;

} // namespace

// ---- HbCommandArgs -------------------------------------------------------------------

HbCommandArgs::~HbCommandArgs()
{
    mCount = 0;
}

int HbCommandArgs::Tokenize(const char* line)
{
    mCount = 0;
    if (!line)
        return 1;
    int fitted = 1;
    const char* p = line;
    while (*p)
    {
        while (IsSeparator(*p))
            ++p;
        if (!*p)
            break;
        const char* start = p;
        while (*p && !IsSeparator(*p))
            ++p;
        if (mCount == kMaxTokens)
        {
            fitted = 0;
            break;
        }
        size_t length = static_cast<size_t>(p - start);
        if (length > static_cast<size_t>(kMaxTokenLength))
        {
            length = kMaxTokenLength;
            fitted = 0;
        }
        mTokens[mCount++].assign(start, length);
    }
    return fitted;
}

const std::string& HbCommandArgs::GetToken(int32_t index) const
{
    return index >= 0 && index < kMaxTokens ? mTokens[index] : kEmpty;
}

// ---- HbCommand ---------------------------------------------------------------------------

HbCommand::HbCommand(const char* name, const char*) : mName(name ? name : "")
{
    if (HbCommandManager* manager = HbCommandManager::Instance())
        manager->Register(mName.c_str(), this);
}

HbCommand::~HbCommand()
{
    if (HbCommandManager* manager = HbCommandManager::Instance())
        manager->Unregister(mName.c_str());
}

// ---- HbCommandManager ------------------------------------------------------------------

HbCommandManager* HbCommandManager::Instance()
{
    return HbSingleton<HbCommandManager>::Instance();
}

HbCommandManager::~HbCommandManager()
{
    mCommands.RemoveAll();
}

int HbCommandManager::Register(const char* name, HbCommand* command)
{
    void** slot = mCommands.FindOrInsert(name ? name : "");
    if (!slot || *slot)
        return 0;
    *slot = command;
    return 1;
}

void HbCommandManager::Unregister(const char* name)
{
    mCommands.Remove(name ? name : "");
}

HbCommand* HbCommandManager::FindCommand(const char* name) const
{
    return static_cast<HbCommand*>(mCommands.Lookup(name ? name : ""));
}

int HbCommandManager::ExecuteLine(const char* line)
{
    HbCommandArgs args;
    args.Tokenize(line);
    HbCommand* command = FindCommand(args.GetToken(0).c_str());
    if (!command)
        return kUnknown;
    if (command->Execute(args, 0))
        return kDone;
    std::string help = "help " + args.GetToken(0);
    ExecuteLine(help.c_str());
    return kFailed;
}

void HbCommandManager::ListMatching(const char* pattern, HbStringArray& names) const
{
    std::string text = pattern ? pattern : "";
    bool all = text.empty() || text == "all";
    HbPosition position = mCommands.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (mCommands.GetNextAssoc(position, name, value))
        if (value && (all || name.find(text) != std::string::npos))
            names.Append(name);
}

// ---- Command scripts -----------------------------------------------------------------

int HbForEachTextLine(const char* path, HbTextLineWalker* walker)
{
    HbFile* file = HbFileOpen(path, "rt");
    if (!file)
        return 1;
    if (HbFileEof(file))
    {
        HbFileClose(file);
        return 0;
    }
    int64_t size = -1;
    if (HbFileSeek(file, 0, SEEK_END) == 0)
        size = HbFileTell(file);
    if (size < 0 || HbFileSeek(file, 0, SEEK_SET) != 0)
    {
        HbFileClose(file);
        return 0;
    }
    // The spare bytes after the data keep the last line zero-terminated.
    auto* data = static_cast<char*>(HbHeapCalloc(static_cast<size_t>(size) + 1024, 1));
    if (!data)
    {
        HbFileClose(file);
        return 0;
    }
    size_t length = HbFileRead(data, 1, static_cast<size_t>(size), file);
    HbFileClose(file);

    size_t i = 0;
    while (i < length)
    {
        while (i < length && static_cast<unsigned char>(data[i]) <= 0x20)
            ++i;
        if (i >= length)
            break;
        size_t start = i;
        while (i < length && (static_cast<unsigned char>(data[i]) >= 0x20 || data[i] == '\t'))
            ++i;
        char saved = data[i];
        data[i] = 0;
        int goOn = walker && walker->callback ? walker->callback(data + start, walker) : 1;
        data[i] = saved;
        if (!goOn)
            break;
    }
    HbHeapFree(data);
    return 0;
}

int HbExecuteScript(const char* path)
{
    if (!path)
        path = "";
    if (static_cast<int32_t>(gScriptStack.size()) >= kHbMaxScriptDepth)
    {
        HbCommandDebugOutput("execute: scripts nested too deeply, not run: ");
        HbCommandDebugOutput(path);
        HbCommandDebugOutput("\n");
        return 0;
    }
    // Each self-call would otherwise multiply the work: k such lines run the
    // script about k^32 times before the depth limit stops it.
    std::string key = ScriptKey(path);
    if (std::find(gScriptStack.begin(), gScriptStack.end(), key) != gScriptStack.end())
    {
        HbCommandDebugOutput("execute: script is already running, not run again: ");
        HbCommandDebugOutput(path);
        HbCommandDebugOutput("\n");
        return 0;
    }
    if (gScriptStack.empty())
    {
        gScriptLinesLeft = kHbMaxScriptLines;
        gScriptOutermost = path;
        gScriptBudgetSpent = false;
    }
    else if (gScriptBudgetSpent)
        return 0;
    gScriptStack.push_back(std::move(key));
    ScriptPlace place{path, 0};
    HbTextLineWalker walker;
    walker.callback = RunScriptLine;
    walker.context = &place;
    if (HbForEachTextLine(path, &walker) != 0)
        RecordScriptFailure(std::string(path) + ": cannot be read");
    gScriptStack.pop_back();
    return gScriptBudgetSpent ? 0 : 1;
}

std::vector<std::string> HbTakeScriptFailures()
{
    std::vector<std::string> failures;
    failures.swap(gScriptFailures);
    return failures;
}

void HbCommandDebugOutput(const char* text)
{
    static const bool enabled = std::getenv("VELMORAN_LOG") != nullptr;
    if (enabled && text)
        std::fputs(text, stderr);
}
