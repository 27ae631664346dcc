// TsFamilyTable: the name-value table behind the actor families, published to the
// scripts as the integer constants of a module; the actor-type registry derives
// from it.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

/// One named value. The name is the table's own copy (from HbOperatorNew).
struct TsFamilyEntry
{
    char* name;
    int32_t value;
};

class TsFamilyTable : public HbRoot
{
    HB_DECLARE_CLASS_DESC()

public:
    TsFamilyTable() = default;
    /// Frees every name and the entry array.
    ~TsFamilyTable() override;

    /// The family table, made on first use with its destroy callback on the exit list.
    static TsFamilyTable* Instance();

    // ---- Virtual operations after the root ones, in slot order --------------------

    /// Accepts when both the name check and the value check accept.
    virtual int CheckEntry(const TsFamilyEntry& entry);
    /// Accepts a value with at most one bit set among its four lowest bits.
    virtual int CheckValue(int32_t value);
    /// Accepts every name.
    virtual int CheckName(const char* name);
    /// 0, adding nothing, when the name is null or an entry already has that name
    /// (exact comparison) or that value. Otherwise the entry is appended when the
    /// entry check accepts it, and 1 is returned whether or not it did.
    virtual int AddEntry(const char* name, int32_t value);
    /// Gets or creates the script module of that name and sets every entry's name
    /// in its dictionary to the entry's value as an integer, in entry order. 0 for a
    /// null name, an empty table, a stopped interpreter or a failed store (the
    /// interpreter's error is printed and cleared), else 1.
    virtual int PublishToModule(const char* moduleName);

    // ---- Lookups and storage ------------------------------------------------------

    /// Linear search in entry order; the entry or null.
    const TsFamilyEntry* FindByName(const char* name) const;
    const TsFamilyEntry* FindByValue(int32_t value) const;
    int32_t GetCount() const { return mEntries.GetCount(); }
    /// The entry at an index below GetCount().
    const TsFamilyEntry& GetEntry(int32_t index) const { return mEntries[index]; }
    /// Stores {name, value} at the index, growing the array when the index lies past
    /// the end (new entries have no name); 0 for a negative index or no memory.
    int SetEntry(int32_t index, const char* name, int32_t value);
    /// Sets the entry count: 0 frees everything, shrinking frees the names past the
    /// new size, growing adds entries without names; 0 when out of memory.
    int Resize(int32_t size);

private:
    HbGrowArray<TsFamilyEntry> mEntries;
};
