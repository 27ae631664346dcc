// Pack archives: HbPackArchive (one archive: its index, reader and writer),
// HbPackSet (the mounted archives and the exclusion list) and the entry helpers
// the sound layer uses to open a sound in place.
#pragma once

#include "hbfile.h"
#include "hbhashmap.h"
#include "hbptrlist.h"
#include "hbsingleton.h"
#include "hbstringarray.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// Archive layout: a 16-byte header {magic, 0, index offset, entry count}, the
/// entry data, then per entry its name, a line feed, its offset and its size;
/// every integer unsigned 32-bit little-endian.
constexpr uint32_t kHbPackMagic = 0xF4EA1072;
/// The first four bytes while an archive is being written.
constexpr uint32_t kHbPackPlaceholder = 0xCCCCCCCC;
constexpr int64_t kHbPackHeaderSize = 16;
/// A name with its line feed must fit this many bytes.
constexpr int32_t kHbPackMaxNameLine = 254;

/// One entry's range in its archive: end = start + size.
struct HbPackEntryRange : public HbAllocated
{
    int64_t start = 0;
    int64_t end = 0;
};

/// An archive's index: entry name (with its line feed) -> range. Entries live
/// in an open-addressing table of cache-line slots, each holding its range,
/// its hash and a key of up to 40 bytes (longer keys sit in a side block); a
/// byte per slot, eight slots to a word, holds seven bits of the slot's hash,
/// so a look-up reads the small tag words and then, almost always, only the
/// slot it wants. The table is sized from the archive's count and grown as
/// entries are added. Ranges handed out stay valid until the next entry is added.
class HbPackIndex
{
public:
    int32_t GetCount() const { return static_cast<int32_t>(mEntries.size()); }
    /// Iteration in the order the entries were first added: start here and
    /// call GetNextAssoc while the position is not 0.
    HbPosition GetStartPosition() const { return mEntries.empty() ? 0 : 1; }
    /// The key (with its line feed) and the HbPackEntryRange at the position,
    /// which then advances; false at the end.
    bool GetNextAssoc(HbPosition& position, std::string& key, void*& value) const;

    /// Room for count entries.
    void Reserve(uint32_t count);
    /// The range under the name followed by a line feed (the line feed is
    /// not part of `name`), or null.
    HbPackEntryRange* Find(std::string_view name) const;
    /// The range under a key ending with its line feed, added (zeroed) when absent.
    HbPackEntryRange* FindOrInsert(std::string_view key);
    void Clear();
    /// Entry positions in the order the archive writes its index: that of the
    /// 17-bucket name map the format's writers have always used, so rewritten
    /// archives keep their bytes.
    std::vector<uint32_t> WriteOrder() const;
    std::string_view KeyAt(uint32_t i) const;
    const HbPackEntryRange& RangeAt(uint32_t i) const { return mSlots[mEntries[i]].range; }

private:
    static constexpr uint32_t kInlineKey = 40;
    struct alignas(64) Slot
    {
        HbPackEntryRange range;
        uint32_t hash;   ///< look-up hash of the key without its line feed
        uint32_t length; ///< key bytes, line feed included; 0 for an empty slot
        union
        {
            char bytes[kInlineKey]; ///< the key when it fits
            uint64_t offset;        ///< else where it starts in mLongKeys
        } key;
    };
    const char* KeyBytes(const Slot& slot) const
    {
        return slot.length <= kInlineKey ? slot.key.bytes : mLongKeys.data() + slot.key.offset;
    }
    uint32_t GroupOf(uint32_t hash) const { return (hash * 2654435769u) >> mShift; }
    uint32_t FindSlot(std::string_view name, uint32_t hash, bool withLineFeed) const;
    void Rehash(size_t slots);

    std::vector<uint32_t> mEntries; ///< slot of each entry in the order first added
    /// Tables of 2 MB and more ask for huge pages: a look-up reads one slot anywhere in
    /// the table, and 4 KB pages would add a page walk to most of them.
    template <typename T> struct TableAllocator
    {
        using value_type = T;
        TableAllocator() = default;
        template <typename U> TableAllocator(const TableAllocator<U>&) {}
        T* allocate(size_t n) { return static_cast<T*>(AllocateTable(n * sizeof(T))); }
        void deallocate(T* p, size_t) { FreeTable(p); }
        bool operator==(const TableAllocator&) const { return true; }
    };
    static void* AllocateTable(size_t bytes);
    static void FreeTable(void* table);
    std::vector<Slot, TableAllocator<Slot>> mSlots; ///< a power of two long, 16 or more
    /// Per eight slots a word of tag bytes: 0 for an empty slot, else 0x80 | seven hash bits.
    std::vector<uint64_t> mTags;
    std::vector<char> mLongKeys; ///< keys longer than kInlineKey, one after the other
    uint32_t mShift = 32;
};

/// One archive, opened for reading, created, or opened for appending.
class HbPackArchive : public HbAllocated
{
public:
    enum Mode : int32_t
    {
        kRead = 0,
        kCreate = 1,
        kAppend = 2,
        kNotOpened = 3,
    };

    HbPackArchive();
    /// Closes the archive first when it is still open.
    virtual ~HbPackArchive();
    HbPackArchive(const HbPackArchive&) = delete;
    HbPackArchive& operator=(const HbPackArchive&) = delete;

    /// Opens through HbFileOpen, so an archive may lie inside a mounted one.
    /// 'r' reads the index, 'a' reads it and positions new data over the old
    /// index, 'w' creates an empty archive. The header and every index record
    /// are checked against the archive's size; a bad archive is refused: null,
    /// and the archive keeps no file and no entries.
    HbPackArchive* Open(const char* name, const char* mode);
    /// Writes the index and the header when created or appended, then forgets
    /// the entries and closes the file; 0.
    int Close();

    /// Writing modes only: writes size bytes at the end of the data (kept apart
    /// from the file's position, which reading an entry moves) and indexes them
    /// under the name, replacing an earlier
    /// entry of that name (whose bytes stay unused); 1, or 0 when the archive is
    /// not being written, the name is empty, holds a line feed or zero byte or
    /// is too long, a write fails, or the data would pass the format's 32-bit
    /// offsets.
    int AddEntry(std::string_view name, const void* data, size_t size);

    /// The entry's range, or null; names compare byte for byte.
    const HbPackEntryRange* FindEntry(std::string_view name) const;
    /// A new record reading the entry, or null when the name is absent.
    HbFile* OpenEntry(std::string_view name, const char* mode);
    /// Stores the range under the name (a line feed appended unless present),
    /// replacing the range of an earlier entry of that name; 1, or 0 when the
    /// range does not fit the format's 32-bit offset and size, or out of memory.
    int AddIndexEntry(std::string_view name, int64_t start, int64_t end);

    /// The index: name followed by a line feed -> HbPackEntryRange.
    const HbPackIndex& GetIndex() const { return mIndex; }
    HbFile* GetFile() const { return mFile; }
    int32_t GetMode() const { return mMode; }
    int32_t IsOpen() const { return mOpen; }
    const std::string& GetName() const { return mName; }

    /// The entry that last moved the archive's file (null when none, or when
    /// the file's position is no longer known).
    HbFile* GetLastPositioned() const { return mLastPositioned; }
    void SetLastPositioned(HbFile* entry) { mLastPositioned = entry; }

private:
    int ReadIndex(int64_t archiveSize, int64_t* indexOffset);
    void FreeIndex();
    int WriteIndexAndHeader();
    bool MoveToDataEnd();

    HbFile* mFile = nullptr;
    HbPackIndex mIndex;
    int32_t mMode = kNotOpened;
    /// Where the entry data ends while writing: new data and the index go here.
    int64_t mDataEnd = kHbPackHeaderSize;
    HbFile* mLastPositioned = nullptr;
    int32_t mOpen = 0;
    std::string mName;
};

/// The mounted archives, newest searched first, and the extensions that always
/// come from the disk.
class HbPackSet : public HbAllocated
{
public:
    /// Created on first use, destroyed by the exit list; null after that.
    static HbPackSet* Instance();

    /// Opens the archive for reading and appends it to the mounted list. The
    /// archive stays in the list even when its open failed (it then answers no
    /// look-up), so that the matching Unmount removes it; the result is 1 when
    /// the open succeeded and 0 when it did not.
    int Mount(const char* name);
    /// Closes and removes the newest archive mounted under the name (byte
    /// comparison), or the newest of all for null; no match does nothing.
    /// Archives mounted from inside it are closed first and stay mounted, empty.
    /// Entry records of the archive must be closed before.
    void Unmount(const char* name = nullptr);
    /// Stores "." + extension; 0 for an empty extension, else 1.
    int AddExcludedExtension(const char* extension);
    /// 1 when the text from the name's last '.' equals an excluded extension
    /// (case-sensitive); a name without '.' is never excluded.
    int IsExcluded(const char* name) const;
    /// The first hit of the archives, newest first; null when none holds the name.
    HbFile* OpenEntry(const char* name, const char* mode);
    /// 1 when an archive holds the name, or the fallback is on and the disk has it.
    int Exists(const char* name);

    int32_t GetMountedCount() const { return mMounted.GetCount(); }
    /// The archive mounted at a position, oldest first; null out of range.
    HbPackArchive* GetMounted(int32_t index) const;

    /// Archives are consulted only while this is non-zero (0 at construction).
    int32_t GetEnabled() const { return mEnabled; }
    void SetEnabled(int32_t enabled) { mEnabled = enabled; }
    /// While 0, a read open the archives cannot serve fails without the disk.
    int32_t GetDiskFallback() const { return mDiskFallback; }
    void SetDiskFallback(int32_t fallback) { mDiskFallback = fallback; }

private:
    friend class HbSingleton<HbPackSet>;
    HbPackSet();
    ~HbPackSet();
    HbPackSet(const HbPackSet&) = delete;
    HbPackSet& operator=(const HbPackSet&) = delete;

    struct Mounted;

    int32_t mEnabled = 0;
    int32_t mDiskFallback = 0;
    HbPtrList mMounted{10};
    HbStringArray mExcluded;
};

/// The outermost archive holding the entry, or null for a disk file.
HbPackArchive* HbPackEntryRootArchive(const HbFile* file);
/// 1 with the entry's range as byte offsets in the outermost archive's disk
/// file; 0 for a disk file (outputs untouched).
int HbPackEntryAbsoluteRange(const HbFile* file, int64_t* start, int64_t* end);
