// The event-box action kinds.
#include "eboxactions.h"

#include "eboxkinds_local.h"
#include "gameprofile.h"
#include "hbchunkstream.h"
#include "hbresource.h"
#include "logicalinventory.h"
#include "tsactorlayer.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(EBoxActorAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxInventoryAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxActorBhvAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxPhysicalInventoryAddAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxPhysicalInventoryRemoveAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxGlobalLogicalInventoryAddAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxGlobalLogicalInventoryRemoveAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxSectorLogicalInventoryAddAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(EBoxSectorLogicalInventoryRemoveAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(ScenaricCameraStateAction, YoEBoxAAction);
HB_DEFINE_CLASS_DESC(ExecuteHbCommandAction, YoEBoxAAction);

HB_REGISTER_RESOURCE_TYPE(EBoxActorBhvAction, "EBXBHVACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxPhysicalInventoryAddAction, "EBXPHYSINVENADDACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxPhysicalInventoryRemoveAction, "EBXPHYSINVREMOVEACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxGlobalLogicalInventoryAddAction, "EBXGLLOGINVADDACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxGlobalLogicalInventoryRemoveAction, "EBXGLLOGINVREMOVEACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxSectorLogicalInventoryAddAction, "EBXSECTLOGINVENADDACTION");
HB_REGISTER_RESOURCE_TYPE(EBoxSectorLogicalInventoryRemoveAction, "EBXSECTLOGINVREMOVEACTION");
HB_REGISTER_RESOURCE_TYPE(ScenaricCameraStateAction, "SCECAMERAACTION");
HB_REGISTER_RESOURCE_TYPE(ExecuteHbCommandAction, "SCEEXECHBCMD");

namespace
{
int WriteText(HbMChunkStream* stream, const std::string& text)
{
    return HbWriteCStringToStream(stream, text.c_str());
}

/// A list's count byte: 0 absent, 1 to 127 its length; 128 or more (negative) is refused, and
/// so is a length the stream cannot hold at minBytes an item.
int ReadCount(HbMChunkStream* stream, int64_t minBytes, int32_t* count)
{
    int8_t byte = 0;
    if (!stream->ReadInt8(byte) || byte < 0 || int64_t(byte) * minBytes > EBoxBytesLeft(stream))
        return 0;
    *count = byte;
    return 1;
}

/// Releases the references held on a parameter tuple's parts.
struct PyRef
{
    PyObject* object = nullptr;
    ~PyRef() { Py_XDECREF(object); }
};
} // namespace

// ---- Shared layouts ---------------------------------------------------------------------------------

int EBoxActorAction::Read(HbMChunkStream* stream)
{
    return YoEBoxAAction::Read(stream) && HbReadCString(stream, mName);
}

int EBoxActorAction::Write(HbMChunkStream* stream)
{
    return YoEBoxAAction::Write(stream) && WriteText(stream, mName);
}

int EBoxInventoryAction::Read(HbMChunkStream* stream)
{
    return YoEBoxAAction::Read(stream) && HbReadCString(stream, mName);
}

int EBoxInventoryAction::Write(HbMChunkStream* stream)
{
    return YoEBoxAAction::Write(stream) && WriteText(stream, mName);
}

// ---- Behaviour requests ------------------------------------------------------------------------------

int EBoxActorBhvAction::Read(HbMChunkStream* stream)
{
    mStrings.clear();
    mReals.clear();
    mIntegers.clear();
    if (!EBoxActorAction::Read(stream))
        return 0;
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 0, 0, &header))
        return HbReadCString(stream, mBehaviour);
    int ok = HbReadCString(stream, mBehaviour);
    int32_t count = 0;
    ok = ok && ReadCount(stream, 1, &count);
    for (int32_t i = 0; ok && i < count; ++i)
    {
        std::string text;
        ok = HbReadCString(stream, text);
        mStrings.push_back(text);
    }
    ok = ok && ReadCount(stream, 4, &count);
    for (int32_t i = 0; ok && i < count; ++i)
    {
        float value = 0.0f;
        ok = stream->ReadReal(value);
        mReals.push_back(value);
    }
    ok = ok && ReadCount(stream, 4, &count);
    for (int32_t i = 0; ok && i < count; ++i)
    {
        int32_t value = 0;
        ok = stream->ReadInt32(value);
        mIntegers.push_back(value);
    }
    // The chunk's end is where the next object starts, even for a refused one.
    stream->LeaveChunk();
    return ok;
}

int EBoxActorBhvAction::Write(HbMChunkStream* stream)
{
    if (mStrings.size() > 127 || mReals.size() > 127 || mIntegers.size() > 127)
        return 0;
    int ok = EBoxActorAction::Write(stream);
    ok = stream->BeginChunk(kChunkId, 0, 0, 1) != 0 && ok;
    ok = ok && WriteText(stream, mBehaviour) && stream->WriteInt8(int8_t(mStrings.size()));
    for (const std::string& text : mStrings)
        ok = ok && WriteText(stream, text);
    ok = ok && stream->WriteInt8(int8_t(mReals.size()));
    for (float value : mReals)
        ok = ok && stream->WriteReal(value);
    ok = ok && stream->WriteInt8(int8_t(mIntegers.size()));
    for (int32_t value : mIntegers)
        ok = ok && stream->WriteInt32(value);
    return stream->EndChunk() != 0 && ok;
}

int32_t EBoxActorBhvAction::Execute()
{
    if (!Py_IsInitialized())
        return 4;
    if (mStrings.empty() && mReals.empty() && mIntegers.empty())
        return TsActorByNameCallScript(mName.c_str(), mBehaviour.c_str(), nullptr);
    // An absent list reaches the script as the string "None".
    PyRef strings, reals, integers, parameter;
    strings.object = mStrings.empty() ? PyUnicode_FromString("None") : PyTuple_New(Py_ssize_t(mStrings.size()));
    for (size_t i = 0; strings.object && i < mStrings.size(); ++i)
        PyTuple_SET_ITEM(strings.object, Py_ssize_t(i), PyUnicode_FromString(mStrings[i].c_str()));
    reals.object = mReals.empty() ? PyUnicode_FromString("None") : PyTuple_New(Py_ssize_t(mReals.size()));
    for (size_t i = 0; reals.object && i < mReals.size(); ++i)
        PyTuple_SET_ITEM(reals.object, Py_ssize_t(i), Py_BuildValue("(f)", double(mReals[i])));
    integers.object = mIntegers.empty() ? PyUnicode_FromString("None") : PyTuple_New(Py_ssize_t(mIntegers.size()));
    for (size_t i = 0; integers.object && i < mIntegers.size(); ++i)
        PyTuple_SET_ITEM(integers.object, Py_ssize_t(i), Py_BuildValue("(i)", int(mIntegers[i])));
    if (strings.object && reals.object && integers.object)
        parameter.object = PyTuple_Pack(3, strings.object, reals.object, integers.object);
    if (!parameter.object || PyErr_Occurred())
    {
        PyErr_Clear();
        return 4;
    }
    return TsActorByNameCallScript(mName.c_str(), mBehaviour.c_str(), parameter.object);
}

// ---- Physical inventory and camera: fields only ----------------------------------------------------

int EBoxPhysicalInventoryRemoveAction::Read(HbMChunkStream* stream)
{
    return EBoxInventoryAction::Read(stream) && HbReadCString(stream, mSecondName);
}

int EBoxPhysicalInventoryRemoveAction::Write(HbMChunkStream* stream)
{
    return EBoxInventoryAction::Write(stream) && WriteText(stream, mSecondName);
}

int ScenaricCameraStateAction::Read(HbMChunkStream* stream)
{
    if (!YoEBoxAAction::Read(stream))
        return 0;
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 0, 0, &header))
        return 1;
    const int ok = HbReadCString(stream, mName) && stream->ReadReal(mFirst) && stream->ReadReal(mSecond);
    stream->LeaveChunk();
    return ok;
}

int ScenaricCameraStateAction::Write(HbMChunkStream* stream)
{
    int ok = YoEBoxAAction::Write(stream);
    ok = stream->BeginChunk(kChunkId, 0, 0, 1) != 0 && ok;
    ok = ok && WriteText(stream, mName) && stream->WriteReal(mFirst) && stream->WriteReal(mSecond);
    return stream->EndChunk() != 0 && ok;
}

// ---- Logical inventories -------------------------------------------------------------------------------

int32_t EBoxGlobalLogicalInventoryAddAction::Execute()
{
    StringHashMap* inventory = EBoxGlobalInventory();
    return inventory ? (LogicalInventoryAdd(*inventory, mName.c_str()), 1) : 0;
}

int32_t EBoxGlobalLogicalInventoryRemoveAction::Execute()
{
    StringHashMap* inventory = EBoxGlobalInventory();
    return inventory ? (LogicalInventoryRemove(*inventory, mName.c_str()), 1) : 0;
}

int32_t EBoxSectorLogicalInventoryAddAction::Execute()
{
    StringHashMap* inventory = EBoxSectorInventory();
    return inventory ? (LogicalInventoryAdd(*inventory, mName.c_str()), 1) : 0;
}

int32_t EBoxSectorLogicalInventoryRemoveAction::Execute()
{
    StringHashMap* inventory = EBoxSectorInventory();
    return inventory ? (LogicalInventoryRemove(*inventory, mName.c_str()), 1) : 0;
}

// ---- Console command --------------------------------------------------------------------------------------

int ExecuteHbCommandAction::Read(HbMChunkStream* stream)
{
    if (!YoEBoxAAction::Read(stream))
        return 0;
    HbChunkHeaderFields header;
    std::string line;
    if (stream->FindChunkHeader(kChunkId, 0, 0, &header))
    {
        const int ok = HbReadCString(stream, line);
        stream->LeaveChunk();
        if (!ok)
            return 0;
    }
    SetName(line.c_str());
    return 1;
}

int ExecuteHbCommandAction::Write(HbMChunkStream* stream)
{
    int ok = YoEBoxAAction::Write(stream);
    ok = stream->BeginChunk(kChunkId, 0, 0, 1) != 0 && ok;
    ok = ok && WriteText(stream, mLine);
    return stream->EndChunk() != 0 && ok;
}

void ExecuteHbCommandAction::SetName(const char* line)
{
    mLine = line ? line : "";
    mArgs.Tokenize(mLine.c_str());
    HbCommandManager* commands = HbCommandManager::Instance();
    mCommand = commands && mArgs.GetCount() > 0 ? commands->FindCommand(mArgs.GetToken(0).c_str()) : nullptr;
}

int32_t ExecuteHbCommandAction::Execute()
{
    // Only a command still registered under its name runs: one that went is not called.
    HbCommandManager* commands = HbCommandManager::Instance();
    if (!mCommand || !commands || commands->FindCommand(mArgs.GetToken(0).c_str()) != mCommand)
        return 0;
    return mCommand->Execute(mArgs, 0);
}
