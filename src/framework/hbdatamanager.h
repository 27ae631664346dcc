// The data manager: a tree of named containers of typed values ("Root" ->
// "SOUNDS" -> one container per sound ...), built by the DataContainerBegin,
// DataContainerEnd and Set* console commands and read by name and key.
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"
#include "hbperclassfreelist.h"

#include <cstdint>
#include <string>

/// One node of the tree: entries by key and child containers by name, both
/// compared byte for byte.
class TDataManagerContainer : public HbAllocated
{
public:
    enum class Kind : int32_t
    {
        Real,
        Integer, ///< also what SetBoolean stores (1 or 0)
        String,
    };

    /// A typed value. Every entry knows its kind, and a read as another kind
    /// finds nothing.
    class TDataEntry
    {
    public:
        explicit TDataEntry(Kind kind) : mKind(kind) {}
        virtual ~TDataEntry() = default;
        TDataEntry(const TDataEntry&) = delete;
        TDataEntry& operator=(const TDataEntry&) = delete;

        Kind GetKind() const { return mKind; }
        /// The value when the entry is of that kind, else null.
        const float* AsReal() const;
        const int32_t* AsInteger() const;
        const std::string* AsString() const;

    private:
        Kind mKind;
    };

    class TRealEntry : public TDataEntry
    {
        HB_DECLARE_CLASS_POOL();

    public:
        explicit TRealEntry(float v) : TDataEntry(Kind::Real), value(v) {}
        float value;
    };

    class TIntegerEntry : public TDataEntry
    {
        HB_DECLARE_CLASS_POOL();

    public:
        explicit TIntegerEntry(int32_t v) : TDataEntry(Kind::Integer), value(v) {}
        int32_t value;
    };

    class TStringEntry : public TDataEntry
    {
        HB_DECLARE_CLASS_POOL();

    public:
        explicit TStringEntry(const char* v) : TDataEntry(Kind::String), value(v ? v : "") {}
        std::string value;
    };

    explicit TDataManagerContainer(const char* name);
    /// Destroys every child container and every entry.
    ~TDataManagerContainer();
    TDataManagerContainer(const TDataManagerContainer&) = delete;
    TDataManagerContainer& operator=(const TDataManagerContainer&) = delete;

    const std::string& GetName() const { return mName; }

    // ---- Reading --------------------------------------------------------------------

    /// The child container of that name, or null.
    TDataManagerContainer* FindContainer(const char* name) const;
    /// The entry under the key, or null.
    const TDataEntry* FindEntry(const char* key) const;
    /// 1 and the value when the key holds an entry of that kind; else 0 with
    /// the value untouched (the reader keeps its own default).
    int GetReal(const char* key, float& value) const;
    int GetInteger(const char* key, int32_t& value) const;
    /// An integer entry read as a flag (non-zero is true).
    int GetBoolean(const char* key, bool& value) const;
    int GetString(const char* key, std::string& value) const;

    // ---- Building ---------------------------------------------------------------------

    /// Stores an entry under the key, destroying the one it replaces; 1, or 0
    /// when out of memory.
    int SetReal(const char* key, float value);
    int SetInteger(const char* key, int32_t value);
    int SetString(const char* key, const char* value);
    /// Stores the child under its name, destroying a child of that name it
    /// replaces; the container owns it from then on. 0 for null or itself.
    int AttachChild(TDataManagerContainer* child);

    const StringHashMap& GetEntries() const { return mEntries; }
    const StringHashMap& GetChildren() const { return mChildren; }

private:
    int Store(const char* key, TDataEntry* entry);

    StringHashMap mEntries{17, 10};
    StringHashMap mChildren{17, 10};
    std::string mName;
};

/// The tree's root and the build state the console commands share. Main
/// thread only.
class HbDataManager
{
public:
    /// Makes the root container "Root" (keeps an existing one); 1, or 0 when
    /// out of memory.
    static int Create();
    /// The root container, or null before Create and after Destroy.
    static TDataManagerContainer* Root();
    /// Destroys the whole tree, and any container still being built.
    static void Destroy();

    // ---- The build state (the console commands use these) -------------------------------

    /// Pushes the current container (when there is one) and makes a new empty
    /// one of that name current; 0 when out of memory.
    static int BeginContainer(const char* name);
    /// Attaches the current container to its parent (the container popped from
    /// the stack, else the root) and makes the parent current. Ignored, with 0,
    /// when no container is current or the root itself is (an End too many);
    /// a container that has no parent to go to (no root) is destroyed.
    static int EndContainer();
    /// The container that Set* commands store into; null before the first
    /// BeginContainer (they are then refused).
    static TDataManagerContainer* Current();
    /// Open containers waiting on the stack.
    static int32_t GetStackDepth();
};
