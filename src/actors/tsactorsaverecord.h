// TsActorSaveRecord: the three names an actor's Save writes (script class, actorName, data
// class), read back to recreate its script object.
#pragma once

#include <cstdint>
#include <string>

class HbSaveFile;

struct TsActorSaveRecord
{
    std::string className;
    std::string actorName;
    std::string dataName;

    /// Reads the three strings; each is bounded by what the stream still holds. 1, or 0 at
    /// the first string that cannot be read (the record is then empty).
    int32_t Read(HbSaveFile* save);
    /// Recreates the script object: TsCreateScriptObject (class, actorName, data). Its code;
    /// 1 for a record without a class.
    int32_t CreateScriptObject() const;
};
