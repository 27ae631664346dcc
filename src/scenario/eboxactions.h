// The event-box action kinds: behaviour requests to actors' scripts, the logical-inventory
// additions and removals, the console command, and the physical-inventory and camera kinds
// that only carry their fields. Each registers under its type key so the event-box reader
// makes it from "_" + key.
#pragma once

#include "hbcommand.h"
#include "yoeventbox.h"

#include <cstdint>
#include <string>
#include <vector>

/// An action naming an actor.
class EBoxActorAction : public YoEBoxAAction
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    virtual void SetName(const char* name) { mName = name ? name : ""; }

    std::string mName;
};

/// An action naming an item.
class EBoxInventoryAction : public YoEBoxAAction
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    virtual void SetName(const char* name) { mName = name ? name : ""; }

    std::string mName;
};

/// EBXBHVACTION: requestBehaviourFromScenaric on the named actor, with the behaviour and, when
/// any list is present, the three parameter lists (strings, reals, integers).
class EBoxActorBhvAction : public EBoxActorAction
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 4929;
    /// Refuses (0) a list count of 128 or more, and a list longer than the chunk holds.
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBXBHVACTION"; }
    /// The script call's result (0 done, 3 no method, 4 no actor or the call failed).
    int32_t Execute() override;

    std::string mBehaviour;
    /// An empty list is an absent one.
    std::vector<std::string> mStrings;
    std::vector<float> mReals;
    std::vector<int32_t> mIntegers;
};

/// EBXPHYSINVENADDACTION: carries the item only.
class EBoxPhysicalInventoryAddAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXPHYSINVENADDACTION"; }
    int32_t Execute() override { return 0; }
};

/// EBXPHYSINVREMOVEACTION: carries the item and a second name only.
class EBoxPhysicalInventoryRemoveAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "EBXPHYSINVREMOVEACTION"; }
    int32_t Execute() override { return 0; }
    virtual void SetSecondName(const char* name) { mSecondName = name ? name : ""; }

    std::string mSecondName;
};

/// The four logical-inventory kinds: the profile's global inventory or the in-mission state's
/// sector one, adding or removing the item once. 1 when an inventory was reached, else 0.
class EBoxGlobalLogicalInventoryAddAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXGLLOGINVADDACTION"; }
    int32_t Execute() override;
};

class EBoxGlobalLogicalInventoryRemoveAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXGLLOGINVREMOVEACTION"; }
    int32_t Execute() override;
};

class EBoxSectorLogicalInventoryAddAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXSECTLOGINVENADDACTION"; }
    int32_t Execute() override;
};

class EBoxSectorLogicalInventoryRemoveAction : public EBoxInventoryAction
{
    HB_DECLARE_CLASS_DESC();

public:
    std::string GetTypeKey() const override { return "EBXSECTLOGINVREMOVEACTION"; }
    int32_t Execute() override;
};

/// SCECAMERAACTION: carries a name and two reals only.
class ScenaricCameraStateAction : public YoEBoxAAction
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 4928;
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "SCECAMERAACTION"; }
    int32_t Execute() override { return 0; }

    std::string mName;
    float mFirst = 2.0f;
    float mSecond = 25.0f;
};

/// SCEEXECHBCMD: runs the console command its line names, looked up when the line is set.
class ExecuteHbCommandAction : public YoEBoxAAction
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 4930;
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "SCEEXECHBCMD"; }
    /// The command's result; 0 when the line named no known command.
    int32_t Execute() override;
    /// Takes the line, splits it and looks its command up.
    virtual void SetName(const char* line);
    const std::string& GetLine() const { return mLine; }
    /// The command found when the line was set, or null.
    HbCommand* GetCommand() const { return mCommand; }

private:
    std::string mLine;
    HbCommandArgs mArgs;
    HbCommand* mCommand = nullptr;
};
