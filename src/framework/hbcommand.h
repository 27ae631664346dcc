// Console commands: HbCommand (the base of every command), HbCommandArgs (a line
// split into tokens), HbCommandManager (the registry that runs lines) and the
// text-line walker that runs command scripts.
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"
#include "hbsingleton.h"
#include "hbstringarray.h"

#include <cstdint>
#include <string>
#include <vector>

/// A command line split at blanks and tabs; no quoting, no escapes.
class HbCommandArgs : public HbAllocated
{
public:
    static constexpr int32_t kMaxTokens = 50;
    static constexpr int32_t kMaxTokenLength = 127;

    HbCommandArgs() = default;
    /// Sets the count to 0 and destroys the tokens.
    virtual ~HbCommandArgs();
    HbCommandArgs(const HbCommandArgs&) = delete;
    HbCommandArgs& operator=(const HbCommandArgs&) = delete;

    /// Fills the tokens and the count from the line. Tokens beyond the 50th are
    /// dropped and a token longer than 127 characters keeps its first 127; the
    /// result is 1 when the whole line fitted and 0 when it was cut. Strings
    /// beyond the new count keep what an earlier line left there.
    int Tokenize(const char* line);

    /// The number of tokens, the command's name included.
    int32_t GetCount() const { return mCount; }
    /// Token 0 is the command's name as typed; the empty string outside 0..49.
    const std::string& GetToken(int32_t index) const;

private:
    std::string mTokens[kMaxTokens];
    int32_t mCount = 0;
};

/// Base of every console command. Commands are static objects: the constructor
/// registers the object under its name unless the name is taken (the first
/// registration wins), the destructor removes the registry's entry of its name.
class HbCommand : public HbAllocated
{
public:
    /// The help text is not kept.
    HbCommand(const char* name, const char* helpText);
    virtual ~HbCommand();
    HbCommand(const HbCommand&) = delete;
    HbCommand& operator=(const HbCommand&) = delete;

    /// Non-zero when the command did its work; 0 when it failed (a wrong
    /// argument count, an unknown argument), upon which the registry runs
    /// "help <name>". reserved is always 0. The arguments live for the call only.
    virtual int Execute(const HbCommandArgs& args, int32_t reserved) = 0;

    const std::string& GetName() const { return mName; }

private:
    std::string mName;
};

/// The registry of commands by name (case-sensitive).
class HbCommandManager : public HbAllocated
{
public:
    /// Result of ExecuteLine.
    enum Result : int
    {
        kDone = 0,
        kFailed = 1,
        kUnknown = 2,
    };

    /// The registry, made on first use; null once the exit list destroyed it.
    static HbCommandManager* Instance();

    /// The registered command of that name, or null.
    HbCommand* FindCommand(const char* name) const;
    /// Tokenizes the line and runs its command: kDone, kFailed (after running
    /// "help <name>") or kUnknown (also for a line without tokens).
    int ExecuteLine(const char* line);
    /// The names matching a help pattern, in the registry's order: every name
    /// for an empty pattern or "all", else the names holding the pattern.
    void ListMatching(const char* pattern, HbStringArray& names) const;

    /// 1 when registered, 0 when the name is taken or memory is out.
    int Register(const char* name, HbCommand* command);
    /// Drops the entry of the name, whatever command it holds.
    void Unregister(const char* name);

private:
    friend class HbSingleton<HbCommandManager>;
    HbCommandManager() = default;
    /// Empties the map; the commands themselves are not deleted.
    ~HbCommandManager();

    StringHashMap mCommands{17, 10};
};

// ---- Command scripts ---------------------------------------------------------------

/// What HbForEachTextLine hands each line to. The callback gets the line,
/// zero-terminated, and the walker; non-zero goes on, 0 stops the walk.
struct HbTextLineWalker
{
    using Callback = int (*)(const char* line, HbTextLineWalker* walker);
    Callback callback = nullptr;
    /// Free for the caller.
    void* context = nullptr;
};

/// Reads the file (through HbFileOpen, so it may lie in a pack archive) and
/// hands each line to the walker. A line starts at the first byte above 0x20
/// and ends before the next byte below 0x20 other than a tab, so CR, LF and
/// blank lines never reach it. Inverted result: 1 when the file cannot be
/// opened, else 0.
int HbForEachTextLine(const char* path, HbTextLineWalker* walker);

/// Runs a command script: every line not starting with '#' goes to
/// ExecuteLine. A script that is already running (named in any case, with
/// either separator) is refused, and so are scripts nested deeper than
/// kHbMaxScriptDepth; the refusal goes to the debug text and the calling
/// script goes on with its next line. One outermost call and every script it
/// runs read at most kHbMaxScriptLines lines between them: distinct scripts
/// that run one another would otherwise run about e * (k - 1)! times. Past the
/// budget every script still running stops and stderr says so once. 1 when the
/// script ran to its end (or the file is missing), 0 when refused or stopped.
constexpr int32_t kHbMaxScriptDepth = 32;
constexpr int64_t kHbMaxScriptLines = 100000;
int HbExecuteScript(const char* path);

/// What went wrong in the scripts run since the last call, oldest first, at most 16: a
/// script that could not be opened ("<path>: cannot be read"), a line whose command is unknown
/// or failed ("<path> line <n>: <first word>"). The call empties the record.
std::vector<std::string> HbTakeScriptFailures();

/// The debug text of the commands (the help listing, refused scripts). It has
/// no sink unless the environment variable VELMORAN_LOG is set, which sends
/// it to stderr.
void HbCommandDebugOutput(const char* text);
