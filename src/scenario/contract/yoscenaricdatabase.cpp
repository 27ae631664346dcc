// The scenario database's maps and lookups.
#include "yoscenaricdatabase.h"

#include "yoscenaricmark.h"

HB_DEFINE_CLASS_DESC(YoScenaricDataBase, HbRoot);

namespace
{
void ReleaseAll(StringHashMap& map)
{
    HbPosition position = map.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (map.GetNextAssoc(position, key, value))
        static_cast<HbRoot*>(value)->Release();
    map.RemoveAll();
}

int32_t Store(StringHashMap& map, const std::string& name, HbRoot* object)
{
    if (!object || map.Find(name))
        return 0;
    void** slot = map.FindOrInsert(name);
    if (!slot)
        return 0;
    *slot = object;
    object->AddRef();
    return 1;
}
} // namespace

YoScenaricDataBase::~YoScenaricDataBase()
{
    ReleaseAll(mMarks);
    ReleaseAll(mPaths);
}

int32_t YoScenaricDataBase::AddMark(YoScenaricMark* mark)
{
    return mark ? Store(mMarks, mark->mName, mark) : 0;
}

int32_t YoScenaricDataBase::AddPath(YoScenaricPath* path)
{
    return path ? Store(mPaths, path->mName, path) : 0;
}

YoScenaricMark* YoScenaricDataBase::FindMark(const char* name)
{
    if (!name)
        return nullptr;
    if (mLastMark && mLastName == name)
        return mLastMark;
    mLastMark = static_cast<YoScenaricMark*>(mMarks.Lookup(name));
    mLastName = name;
    return mLastMark;
}

YoScenaricPath* YoScenaricDataBase::FindPath(const char* name) const
{
    return name ? static_cast<YoScenaricPath*>(mPaths.Lookup(name)) : nullptr;
}
