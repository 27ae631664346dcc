// TsActorSaveRecord.
#include "tsactorsaverecord.h"

#include "hbsavefile.h"
#include "tsscriptbinding.h"

int32_t TsActorSaveRecord::Read(HbSaveFile* save)
{
    if (save && save->ReadString(className) && save->ReadString(actorName) && save->ReadString(dataName))
        return 1;
    className.clear();
    actorName.clear();
    dataName.clear();
    return 0;
}

int32_t TsActorSaveRecord::CreateScriptObject() const
{
    if (className.empty())
        return 1;
    return TsCreateScriptObject(className.c_str(), actorName.c_str(), dataName.c_str());
}
