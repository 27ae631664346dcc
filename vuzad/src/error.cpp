// The engine's error slot: {plug-in id, code} in the error module's block of the current
// engine record.
#include "error.h"

#include "engine.h"

namespace
{

constexpr Error kEmptySlot = {0, kErrNone};

int32_t sOffset = kEngineFirstBlockOffset;
int32_t sOpenCount = 0;

// The slot of the current record: the static record keeps room for it, so errors found
// before an instance exists are kept too. Null only before the engine was first touched.
Error* Slot()
{
    Engine* engine = Engine::Current();
    return engine ? static_cast<Error*>(Engine::Block(engine, sOffset)) : nullptr;
}

} // namespace

const Error* Error::Set(const Error* error)
{
    Error* slot = Slot();
    if (slot && slot->pluginId == kEmptySlot.pluginId && slot->code == kEmptySlot.code)
    {
        slot->pluginId = IsCommon(error->code) ? 0 : error->pluginId;
        slot->code = error->code;
    }
    return error;
}

Error* Error::Get(Error* error)
{
    Error* slot = Slot();
    *error = slot ? *slot : kEmptySlot;
    if (slot)
        *slot = kEmptySlot;
    return error;
}

void Error::Report(int32_t pluginId, int32_t code)
{
    Error error = {pluginId, code};
    Set(&error);
}

void* Error::OpenModule(void* engine, int32_t offset, int32_t)
{
    sOffset = offset;
    *static_cast<Error*>(Engine::Block(static_cast<Engine*>(engine), offset)) = kEmptySlot;
    ++sOpenCount;
    return engine;
}

void* Error::CloseModule(void* engine, int32_t, int32_t)
{
    --sOpenCount;
    return engine;
}

int32_t Error::GetModuleOpenCount()
{
    return sOpenCount;
}
