// TsActorTypeRegistry: the actor classes that scripts may create, by name and
// numeric type id; published to the script module "actors_type".
#pragma once

#include "hbhashmap.h"
#include "tsfamilytable.h"

class TsActor;

/// Makes actors of one class. Created with new by the registering code and owned
/// by the registry from registration on.
class TsActorFactory : public HbAllocated
{
public:
    virtual ~TsActorFactory() = default;
    /// A new actor of the class with one reference, or null.
    virtual TsActor* Create() = 0;
};

class TsActorTypeRegistry : public TsFamilyTable
{
    HB_DECLARE_CLASS_DESC()

public:
    TsActorTypeRegistry() = default;
    /// Deletes every factory, then the table's names and entries.
    ~TsActorTypeRegistry() override;

    /// The registry, made on first use with its destroy callback on the exit list.
    static TsActorTypeRegistry* Instance();

    /// Every id is accepted (the family rule would refuse 3, 5, 6 and 7).
    int CheckValue(int32_t value) override;
    /// Publishes every type's name with its id as an integer into the module
    /// (created when missing); 0 for a null name or an empty registry, in which
    /// case no module is made.
    int PublishToModule(const char* moduleName) override;

    /// Takes the next type id (the counter goes up whether or not the
    /// registration then succeeds; ids start at 1).
    int32_t NextId() { return ++mNextId; }
    /// 1 when registered; 0 when the factory is null or the name or id is already
    /// taken. The registry owns the factory from this call on: a refused one is deleted.
    int Register(TsActorFactory* factory, const char* name, int32_t id);
    /// NextId then Register.
    int RegisterNext(TsActorFactory* factory, const char* name) { return Register(factory, name, NextId()); }
    /// A new actor of the type, or null when no factory has that id.
    TsActor* Create(int32_t id);

private:
    HbIntHashMap mFactories{17, 10};
    int32_t mNextId = 0;
};

/// The factory of one actor class: a new Class with one reference.
template <typename Class> class TsActorFactoryOf : public TsActorFactory
{
public:
    TsActor* Create() override
    {
        Class* actor = new Class();
        if (actor)
            actor->AddRef();
        return actor;
    }
};

/// Registers the class under the name and id unless a type already has the name (start-up may
/// run more than once).
template <typename Class> void TsRegisterActorType(TsActorTypeRegistry* registry, const char* name, int32_t id)
{
    if (!registry->FindByName(name))
        registry->Register(new TsActorFactoryOf<Class>(), name, id);
}

/// A static object per actor class: registers new Factory under the name during
/// static construction.
template <typename Factory> struct TsActorTypeRegistration
{
    explicit TsActorTypeRegistration(const char* name)
    {
        if (TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance())
            registry->RegisterNext(new Factory(), name);
    }
};
