// NameIdTable: the fixed tables that turn bone, profile and animation-event names into
// small ids, and back.
#pragma once

#include "hbhashmap.h"
#include "hbroot.h"

#include <cstdint>

class NameIdTable : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    NameIdTable() = default;

    /// The entry of the id gets the name, unless some entry already holds the name.
    void Insert(int32_t id, const char* name);
    /// 1 when an entry holds exactly that name (case included).
    int Contains(const char* name) const;
    /// The id of the name, or 0 when no entry holds it (0 is also the id of the "unknown"
    /// entry of every table).
    int32_t FindIdByName(const char* name) const;
    /// 1 and the name of the id, else 0.
    int FindNameById(int32_t id, std::string& name) const;
    int32_t GetCount() const { return mNames.GetCount(); }

    /// The three singletons, made with all their names on first use and destroyed by the
    /// exit list; null once destroyed.
    static NameIdTable* Bones();
    static NameIdTable* Events();
    static NameIdTable* Profiles();

private:
    IntStringHashMap mNames{17, 10};
};
