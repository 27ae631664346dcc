// Mark requests and filters, and the per-sector mark index they walk: a request collects the
// marks of one kind registered in the world sectors a sphere touches and keeps those its
// filter tree passes.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"
#include "vector.h"

#include <cstdint>
#include <string>

struct World;
struct WorldSector;
class YoRequestAbstract;
class YoScenaricDataBase;
class YoScenaricMark;

/// The marks of a database filed by kind in the sector object tables of one world: each mark
/// in the sector that holds its position.
class SectorObjectTables : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Holds one reference on the database; files its marks when world is not null.
    SectorObjectTables(YoScenaricDataBase* database, World* world);
    /// Clears the sectors' tables and releases the database.
    ~SectorObjectTables() override;

    /// Clears the tables of the previous world's sectors, then gives every sector of the new
    /// world (null: none) an empty table and files the marks. The world is not owned: its
    /// owner hands over null before it goes.
    void SetWorld(World* world);
    World* GetWorld() const { return mWorld; }
    YoScenaricDataBase* GetDatabase() const { return mDatabase; }

private:
    YoScenaricDataBase* mDatabase;
    World* mWorld = nullptr;
};

/// The objects filed under the kind in the sector's table, or null.
HbPtrArray* SectorObjectList(WorldSector* sector, int32_t kind);

class YoRequestFilterAbstract : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    virtual void SetOwner(YoRequestAbstract* owner) { mOwner = owner; }
    virtual void ClearOwner() { mOwner = nullptr; }
    /// 1 pass, 0 fail.
    virtual int32_t Test(YoScenaricMark* mark) { return 0; }
    YoRequestAbstract* GetOwner() const { return mOwner; }

protected:
    /// The request served (not referenced).
    YoRequestAbstract* mOwner = nullptr;
};

class YoRequestAbstract : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Takes a reference on the filter and makes this request the owner of its tree.
    YoRequestAbstract(const char* name, YoRequestFilterAbstract* filter);
    /// Clears the tree's owner and releases the filter.
    ~YoRequestAbstract() override;

    /// Appends what the request finds; maximum -1 examines every candidate.
    virtual void Evaluate(HbPtrArray* out, int32_t maximum) = 0;

    const std::string& GetName() const { return mName; }
    YoRequestFilterAbstract* GetFilter() const { return mFilter; }

private:
    std::string mName;
    YoRequestFilterAbstract* mFilter;
};

/// The marks of one kind around a centre.
class YoScenaricMarkRequestDistanceIn : public YoRequestAbstract
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Holds one reference on the tables.
    YoScenaricMarkRequestDistanceIn(const char* name, YoRequestFilterAbstract* filter, SectorObjectTables* tables);
    ~YoScenaricMarkRequestDistanceIn() override;

    /// The sectors the sphere touches in the tables' world, in order; in each the marks of
    /// the kind in list order. The walk stops once maximum marks were examined; those the
    /// filter passes are appended. Nothing without a world.
    void Evaluate(HbPtrArray* out, int32_t maximum) override;

    void SetCenter(const Vector& centre) { mCentre = centre; }
    void SetRadius(float radius) { mRadius = radius; }
    void SetKind(int32_t kind) { mKind = kind; }
    const Vector& GetCenter() const { return mCentre; }
    float GetRadius() const { return mRadius; }
    int32_t GetKind() const { return mKind; }
    SectorObjectTables* GetTables() const { return mTables; }

private:
    SectorObjectTables* mTables;
    Vector mCentre = {0.0f, 0.0f, 0.0f};
    float mRadius = 0.0f;
    int32_t mKind = 0;
};

/// Passes free marks: not held, lock count 0 or less.
class YoScenaricMarkFilter : public YoRequestFilterAbstract
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t Test(YoScenaricMark* mark) override;
};

/// Passes marks strictly inside its owner's sphere (the owner must be a distance request).
class YoScenaricMarkFilterDistanceIn : public YoRequestFilterAbstract
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t Test(YoScenaricMark* mark) override;
};
