// TsActorTypeRegistry: factories by type id over the family table's names.
#include "tsactortyperegistry.h"

#include "hbsingleton.h"

HB_DEFINE_CLASS_DESC(TsActorTypeRegistry, TsFamilyTable);

TsActorTypeRegistry::~TsActorTypeRegistry()
{
    HbPosition position = mFactories.GetStartPosition();
    uint32_t id = 0;
    void* factory = nullptr;
    while (mFactories.GetNextAssoc(position, id, factory))
        delete static_cast<TsActorFactory*>(factory);
    mFactories.RemoveAll();
}

TsActorTypeRegistry* TsActorTypeRegistry::Instance()
{
    return HbSingleton<TsActorTypeRegistry>::Instance();
}

int TsActorTypeRegistry::CheckValue(int32_t)
{
    return 1;
}

int TsActorTypeRegistry::PublishToModule(const char* moduleName)
{
    return TsFamilyTable::PublishToModule(moduleName);
}

int TsActorTypeRegistry::Register(TsActorFactory* factory, const char* name, int32_t id)
{
    if (!factory)
        return 0;
    // The table answers 1 also when its entry check refused; only an entry that is
    // really there under this name and id takes the factory.
    const TsFamilyEntry* entry = nullptr;
    if (AddEntry(name, id) && (entry = FindByValue(id)) && entry->name && FindByName(name) == entry)
    {
        if (void** slot = mFactories.FindOrInsert(static_cast<uint32_t>(id)))
        {
            *slot = factory;
            return 1;
        }
    }
    delete factory;
    return 0;
}

TsActor* TsActorTypeRegistry::Create(int32_t id)
{
    void* factory = nullptr;
    if (!mFactories.Find(static_cast<uint32_t>(id), factory) || !factory)
        return nullptr;
    return static_cast<TsActorFactory*>(factory)->Create();
}
