// Pack archives: the checked index reader, the writer, the mounted set with
// its exclusion list, and the outward walk of nested entries.
#include "hbpack.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Smallest index record: an empty name's line feed, then offset and size.
constexpr int64_t kMinIndexRecord = 1 + 4 + 4;
// The reader's line buffer: a name line of kHbPackMaxNameLine bytes and its zero.
constexpr int kNameBufferSize = kHbPackMaxNameLine + 1;

bool ReadU32(HbFile* file, uint32_t* value)
{
    uint8_t bytes[4];
    if (HbFileRead(bytes, 1, 4, file) != 4)
        return false;
    *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
             static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
}

bool WriteU32(HbFile* file, uint32_t value)
{
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return HbFileWrite(bytes, 1, 4, file) == 4;
}

// The bytes an archive's file holds: the entry's size, or the disk file's.
int64_t ArchiveFileSize(HbFile* file)
{
    if (file->archive)
        return file->entryEnd - file->entryStart;
    struct stat info;
    if (!file->crt || ::fstat(::fileno(file->crt), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.st_size);
}

// Whether `inner`'s file lies, at any depth, inside `outer`.
bool LiesInside(const HbPackArchive* inner, const HbPackArchive* outer)
{
    for (HbFile* file = inner->GetFile(); file && file->archive; file = file->archive->GetFile())
        if (file->archive == outer)
            return true;
    return false;
}

} // namespace

// ---- HbPackIndex ----------------------------------------------------------------------

namespace
{
uint32_t HashBytes(uint32_t hash, std::string_view bytes)
{
    for (char c : bytes)
        hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
    return hash;
}
// The look-up hash of a key without its line feed: eight bytes a step, the last
// (partial) word read so that it ends at the key's end.
uint32_t KeyHash(const char* bytes, size_t length)
{
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    uint64_t hash = length * kMultiplier;
    uint64_t word = 0;
    if (length >= 8)
    {
        size_t at = 0;
        for (; at + 8 < length; at += 8)
        {
            std::memcpy(&word, bytes + at, 8);
            hash = (hash ^ word) * kMultiplier;
            hash ^= hash >> 32;
        }
        std::memcpy(&word, bytes + length - 8, 8);
    }
    else
    {
        for (size_t at = 0; at < length; ++at)
            word = word << 8 | static_cast<uint8_t>(bytes[at]);
    }
    hash = (hash ^ word) * kMultiplier;
    return static_cast<uint32_t>(hash >> 32);
}
// Whether n bytes agree, compared a word at a time with one branch for short keys
// (the last word overlapping the one before it).
bool SameBytes(const char* a, const char* b, size_t n)
{
    if (n < 8)
        return std::memcmp(a, b, n) == 0;
    uint64_t x, y, differ = 0;
    for (size_t at = 0; at + 8 < n; at += 8)
    {
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        differ |= x ^ y;
    }
    std::memcpy(&x, a + n - 8, 8);
    std::memcpy(&y, b + n - 8, 8);
    return (differ | (x ^ y)) == 0;
}
// The bucket count of the name map whose iteration order the index is written in.
constexpr uint32_t kWriteBuckets = 17;
} // namespace

bool HbPackIndex::GetNextAssoc(HbPosition& position, std::string& key, void*& value) const
{
    if (position == 0 || position > mEntries.size())
    {
        position = 0;
        return false;
    }
    uint32_t i = static_cast<uint32_t>(position - 1);
    key.assign(KeyAt(i));
    value = const_cast<HbPackEntryRange*>(&mSlots[mEntries[i]].range);
    position = position < mEntries.size() ? position + 1 : 0;
    return true;
}

std::string_view HbPackIndex::KeyAt(uint32_t i) const
{
    const Slot& slot = mSlots[mEntries[i]];
    return {KeyBytes(slot), slot.length};
}

// Tables are kept at most seven eighths full: tags find a slot in a full group
// without reading the slots.
void HbPackIndex::Reserve(uint32_t count)
{
    mEntries.reserve(mEntries.size() + count);
    size_t wanted = (mEntries.size() + count) * 8 / 7 + 1;
    if (wanted > mSlots.size())
        Rehash(wanted);
}

void* HbPackIndex::AllocateTable(size_t bytes)
{
    constexpr size_t kHuge = size_t(2) << 20;
    void* table = nullptr;
    if (bytes >= kHuge)
    {
        table = std::aligned_alloc(kHuge, (bytes + kHuge - 1) & ~(kHuge - 1));
        if (table)
            ::madvise(table, bytes, MADV_HUGEPAGE);
    }
    else
    {
        table = std::aligned_alloc(64, (bytes + 63) & ~size_t(63));
    }
    if (!table)
        throw std::bad_alloc();
    return table;
}

namespace
{
constexpr uint64_t kTagLows = 0x0101010101010101ull;
constexpr uint64_t kTagHighs = 0x8080808080808080ull;

uint64_t TagOf(uint32_t hash)
{
    return 0x80u | (hash & 0x7Fu);
}

// The 0x80 bits of a word's zero bytes: the lowest is exact, higher ones may be
// false (a borrow), so callers check what they find.
uint64_t ZeroBytes(uint64_t word)
{
    return (word - kTagLows) & ~word & kTagHighs;
}
} // namespace

void HbPackIndex::FreeTable(void* table)
{
    std::free(table);
}

void HbPackIndex::Rehash(size_t wanted)
{
    size_t slots = 16;
    uint32_t bits = 1;
    while (slots < wanted)
    {
        slots <<= 1;
        ++bits;
    }
    std::vector<Slot, TableAllocator<Slot>> old(slots, Slot{});
    old.swap(mSlots);
    mTags.assign(slots / 8, 0);
    mShift = 32 - bits;
    const uint32_t groupMask = static_cast<uint32_t>(mTags.size() - 1);
    for (uint32_t& entry : mEntries)
    {
        const Slot& from = old[entry];
        uint32_t group = GroupOf(from.hash);
        while (!ZeroBytes(mTags[group]))
            group = (group + 1) & groupMask;
        uint32_t byte = static_cast<uint32_t>(std::countr_zero(ZeroBytes(mTags[group])) / 8);
        mTags[group] |= TagOf(from.hash) << (byte * 8);
        mSlots[group * 8 + byte] = from;
        entry = group * 8 + byte;
    }
}

// The slot holding the key, or the empty slot where it would go. `name` is the
// key without its line feed when withLineFeed is false.
uint32_t HbPackIndex::FindSlot(std::string_view name, uint32_t hash, bool withLineFeed) const
{
    const uint32_t groupMask = static_cast<uint32_t>(mTags.size() - 1);
    const size_t length = name.size() + (withLineFeed ? 0 : 1);
    const uint64_t tags = TagOf(hash) * kTagLows;
    for (uint32_t group = GroupOf(hash);; group = (group + 1) & groupMask)
    {
        const uint64_t word = mTags[group];
        for (uint64_t match = ZeroBytes(word ^ tags); match; match &= match - 1)
        {
            const uint32_t slot = group * 8 + static_cast<uint32_t>(std::countr_zero(match) / 8);
            const Slot& at = mSlots[slot];
            if (at.hash != hash || at.length != length)
                continue;
            const char* key = KeyBytes(at);
            if (SameBytes(key, name.data(), name.size()) && (withLineFeed || key[name.size()] == '\n'))
                return slot;
        }
        if (const uint64_t empty = ZeroBytes(word))
            return group * 8 + static_cast<uint32_t>(std::countr_zero(empty) / 8);
    }
}

HbPackEntryRange* HbPackIndex::Find(std::string_view name) const
{
    if (mEntries.empty())
        return nullptr;
    uint32_t hash = KeyHash(name.data(), name.size());
    const Slot& at = mSlots[FindSlot(name, hash, false)];
    return at.length ? const_cast<HbPackEntryRange*>(&at.range) : nullptr;
}

HbPackEntryRange* HbPackIndex::FindOrInsert(std::string_view key)
{
    if (key.empty() || key.size() > UINT32_MAX)
        return nullptr;
    if ((mEntries.size() + 1) * 8 / 7 + 1 > mSlots.size())
        Rehash((mEntries.size() + 1) * 8 / 7 + 1);
    uint32_t hash = KeyHash(key.data(), key.size() - 1);
    uint32_t slot = FindSlot(key, hash, true);
    Slot& at = mSlots[slot];
    if (at.length)
        return &at.range;
    if (key.size() <= kInlineKey)
    {
        std::memcpy(at.key.bytes, key.data(), key.size());
    }
    else
    {
        at.key.offset = mLongKeys.size();
        mLongKeys.insert(mLongKeys.end(), key.begin(), key.end());
    }
    at.hash = hash;
    at.length = static_cast<uint32_t>(key.size());
    mTags[slot / 8] |= TagOf(hash) << (slot % 8 * 8);
    at.range = HbPackEntryRange{};
    mEntries.push_back(slot);
    return &at.range;
}

void HbPackIndex::Clear()
{
    std::vector<uint32_t>().swap(mEntries);
    std::vector<Slot, TableAllocator<Slot>>().swap(mSlots);
    std::vector<uint64_t>().swap(mTags);
    std::vector<char>().swap(mLongKeys);
    mShift = 32;
}

std::vector<uint32_t> HbPackIndex::WriteOrder() const
{
    // A chained map of 17 buckets walks its buckets in turn, each from the
    // newest key to the oldest.
    std::vector<uint32_t> order(mEntries.size());
    std::vector<uint8_t> buckets(mEntries.size());
    for (uint32_t i = 0; i < order.size(); ++i)
    {
        order[i] = i;
        buckets[i] = static_cast<uint8_t>(HashBytes(0, KeyAt(i)) % kWriteBuckets);
    }
    std::sort(order.begin(), order.end(),
              [&buckets](uint32_t a, uint32_t b)
              { return buckets[a] != buckets[b] ? buckets[a] < buckets[b] : a > b; });
    return order;
}

// ---- HbPackArchive ---------------------------------------------------------------------

HbPackArchive::HbPackArchive() = default;

HbPackArchive::~HbPackArchive()
{
    if (mOpen || mFile)
        Close();
    else
        FreeIndex();
}

HbPackArchive* HbPackArchive::Open(const char* name, const char* mode)
{
    if (mOpen || mFile)
        Close();
    if (!name || !mode)
        return nullptr;
    bool append = std::strchr(mode, 'a') != nullptr;
    bool read = std::strchr(mode, 'r') != nullptr;
    bool create = std::strchr(mode, 'w') != nullptr;

    mFile = HbFileOpen(name, append ? "rb+" : mode);
    if (!mFile)
        return nullptr;
    bool ok = true;
    if (append || read)
    {
        int64_t indexOffset = 0;
        ok = ReadIndex(ArchiveFileSize(mFile), &indexOffset);
        if (ok && read)
        {
            mMode = kRead;
        }
        else if (ok)
        {
            // New data goes over the old index, which is kept in memory and
            // written again by Close.
            mMode = kAppend;
            mDataEnd = indexOffset;
            ok = HbFileSeek(mFile, 0, SEEK_SET) == 0 && WriteU32(mFile, kHbPackPlaceholder) &&
                 HbFileSeek(mFile, indexOffset, SEEK_SET) == 0;
        }
    }
    else if (create)
    {
        mMode = kCreate;
        mDataEnd = kHbPackHeaderSize;
        ok = WriteU32(mFile, kHbPackPlaceholder) && HbFileSeek(mFile, kHbPackHeaderSize, SEEK_SET) == 0;
    }
    if (!ok)
    {
        FreeIndex();
        HbFileClose(mFile);
        mFile = nullptr;
        mLastPositioned = nullptr;
        mMode = kNotOpened;
        return nullptr;
    }
    mName = name;
    mOpen = 1;
    return this;
}

// Reads the header and the index, checking each against the archive's size:
// the index must start after the header and inside the archive, the count must
// fit the bytes that remain, every name line must end with its line feed within
// the line limit, and every entry must lie inside the archive.
int HbPackArchive::ReadIndex(int64_t archiveSize, int64_t* indexOffset)
{
    if (archiveSize < kHbPackHeaderSize || HbFileSeek(mFile, 0, SEEK_SET) != 0)
        return 0;
    uint32_t magic = 0, zero = 0, offset = 0, count = 0;
    if (!ReadU32(mFile, &magic) || magic != kHbPackMagic || !ReadU32(mFile, &zero) || zero != 0 ||
        !ReadU32(mFile, &offset) || !ReadU32(mFile, &count))
        return 0;
    if (offset < kHbPackHeaderSize || offset > archiveSize)
        return 0;
    if (count > (archiveSize - offset) / kMinIndexRecord)
        return 0;
    if (HbFileSeek(mFile, offset, SEEK_SET) != 0)
        return 0;
    // Sized once from the header (the count is already bounded by the bytes
    // left), so opening stays linear in the entries.
    mIndex.Reserve(count);

    char line[kNameBufferSize];
    for (uint32_t i = 0; i < count; ++i)
    {
        int64_t before = HbFileTell(mFile);
        if (!HbFileGets(line, kNameBufferSize, mFile))
            return 0;
        size_t length = std::strlen(line);
        // A line without its line feed is too long or cut by the end; a zero
        // byte inside would hide the rest of the name.
        if (length == 0 || line[length - 1] != '\n' || HbFileTell(mFile) - before != static_cast<int64_t>(length))
            return 0;
        uint32_t start = 0, size = 0;
        if (!ReadU32(mFile, &start) || !ReadU32(mFile, &size))
            return 0;
        int64_t end = static_cast<int64_t>(start) + size;
        if (end > archiveSize)
            return 0;
        if (!AddIndexEntry(std::string_view(line, length), start, end))
            return 0;
    }
    *indexOffset = offset;
    return 1;
}

int HbPackArchive::Close()
{
    if ((mMode == kCreate || mMode == kAppend) && mFile)
        WriteIndexAndHeader();
    FreeIndex();
    if (mFile)
        HbFileClose(mFile);
    mFile = nullptr;
    mLastPositioned = nullptr;
    mOpen = 0;
    mDataEnd = kHbPackHeaderSize;
    return 0;
}

// The file is moved to the end of the data first: reading an entry of an
// archive being written moves the shared position.
bool HbPackArchive::MoveToDataEnd()
{
    mLastPositioned = nullptr;
    return HbFileSeek(mFile, mDataEnd, SEEK_SET) == 0;
}

int HbPackArchive::WriteIndexAndHeader()
{
    int64_t indexOffset = mDataEnd;
    if (indexOffset < kHbPackHeaderSize || indexOffset > UINT32_MAX || !MoveToDataEnd())
        return 0;
    bool ok = true;
    for (uint32_t i : mIndex.WriteOrder())
    {
        std::string_view key = mIndex.KeyAt(i);
        const HbPackEntryRange& range = mIndex.RangeAt(i);
        ok = ok && HbFileWrite(key.data(), 1, key.size(), mFile) == key.size() &&
             WriteU32(mFile, static_cast<uint32_t>(range.start)) &&
             WriteU32(mFile, static_cast<uint32_t>(range.end - range.start));
    }
    ok = ok && HbFileSeek(mFile, 0, SEEK_SET) == 0 && WriteU32(mFile, kHbPackMagic) && WriteU32(mFile, 0) &&
         WriteU32(mFile, static_cast<uint32_t>(indexOffset)) &&
         WriteU32(mFile, static_cast<uint32_t>(mIndex.GetCount()));
    return ok ? 1 : 0;
}

int HbPackArchive::AddEntry(std::string_view name, const void* data, size_t size)
{
    if (!mOpen || !mFile || (mMode != kCreate && mMode != kAppend))
        return 0;
    if (name.empty() || name.size() + 1 > static_cast<size_t>(kHbPackMaxNameLine) ||
        name.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos)
        return 0;
    if (size > 0 && !data)
        return 0;
    int64_t start = mDataEnd;
    if (start < kHbPackHeaderSize || size > UINT32_MAX || start + static_cast<int64_t>(size) > UINT32_MAX)
        return 0;
    if (!MoveToDataEnd())
        return 0;
    if (size > 0 && HbFileWrite(data, 1, size, mFile) != size)
    {
        // Part of the data may be on the disk; the end stays where it was, so
        // the next entry and the index go over it.
        return 0;
    }
    if (!AddIndexEntry(name, start, start + static_cast<int64_t>(size)))
        return 0;
    mDataEnd = start + static_cast<int64_t>(size);
    return 1;
}

const HbPackEntryRange* HbPackArchive::FindEntry(std::string_view name) const
{
    return mIndex.Find(name);
}

HbFile* HbPackArchive::OpenEntry(std::string_view name, const char*)
{
    const HbPackEntryRange* range = FindEntry(name);
    if (!range)
        return nullptr;
    HbFile* file = new HbFile();
    if (!file)
        return nullptr;
    file->archive = this;
    file->position = range->start;
    file->entryStart = range->start;
    file->entryEnd = range->end;
    return file;
}

int HbPackArchive::AddIndexEntry(std::string_view name, int64_t start, int64_t end)
{
    if (start < 0 || start > UINT32_MAX || end < start || end - start > UINT32_MAX)
        return 0;
    HbPackEntryRange* range = nullptr;
    if (!name.empty() && name.back() == '\n')
    {
        range = mIndex.FindOrInsert(name);
    }
    else
    {
        std::string key(name);
        key += '\n';
        range = mIndex.FindOrInsert(key);
    }
    if (!range)
        return 0;
    range->start = start;
    range->end = end;
    return 1;
}

void HbPackArchive::FreeIndex()
{
    mIndex.Clear();
}

// ---- HbPackSet -------------------------------------------------------------------------

struct HbPackSet::Mounted : public HbAllocated
{
    std::string name;
    HbPackArchive* archive = nullptr;
};

HbPackSet* HbPackSet::Instance()
{
    return HbSingleton<HbPackSet>::Instance();
}

HbPackSet::HbPackSet() = default;

HbPackSet::~HbPackSet()
{
    for (int32_t n = mMounted.GetCount(); n > 0; --n)
        Unmount(nullptr);
    mExcluded.Clear();
    mMounted.RemoveAll();
}

int HbPackSet::Mount(const char* name)
{
    auto* mounted = new Mounted();
    if (!mounted)
        return 0;
    mounted->archive = new HbPackArchive();
    if (!mounted->archive)
    {
        delete mounted;
        return 0;
    }
    mounted->name = name ? name : "";
    HbPackArchive* opened = mounted->archive->Open(name, "rb");
    if (!mMounted.AddTail(mounted))
    {
        delete mounted->archive;
        delete mounted;
        return 0;
    }
    return opened ? 1 : 0;
}

void HbPackSet::Unmount(const char* name)
{
    HbPtrListNode* node = mMounted.GetTail();
    if (name)
        while (node && static_cast<Mounted*>(node->value)->name != name)
            node = node->prev;
    if (!node)
        return;
    auto* mounted = static_cast<Mounted*>(node->value);
    // Archives mounted from inside this one read through its file: close them
    // first (they stay mounted, empty), so none is left reading freed memory.
    for (HbPtrListNode* other = mMounted.GetTail(); other; other = other->prev)
    {
        HbPackArchive* archive = static_cast<Mounted*>(other->value)->archive;
        if (other != node && LiesInside(archive, mounted->archive))
            archive->Close();
    }
    mounted->archive->Close();
    delete mounted->archive;
    mMounted.RemoveAt(node);
    delete mounted;
}

int HbPackSet::AddExcludedExtension(const char* extension)
{
    if (!extension || !*extension)
        return 0;
    std::string stored = ".";
    stored += extension;
    return mExcluded.Append(stored) >= 0 ? 1 : 0;
}

int HbPackSet::IsExcluded(const char* name) const
{
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot)
        return 0;
    for (int32_t i = 0; i < mExcluded.GetCount(); ++i)
        if (mExcluded[i] == dot)
            return 1;
    return 0;
}

HbFile* HbPackSet::OpenEntry(const char* name, const char* mode)
{
    if (!name)
        return nullptr;
    for (HbPtrListNode* node = mMounted.GetTail(); node; node = node->prev)
        if (HbFile* file = static_cast<Mounted*>(node->value)->archive->OpenEntry(name, mode))
            return file;
    return nullptr;
}

int HbPackSet::Exists(const char* name)
{
    if (!name)
        return 0;
    for (HbPtrListNode* node = mMounted.GetTail(); node; node = node->prev)
        if (static_cast<Mounted*>(node->value)->archive->FindEntry(name))
            return 1;
    if (mDiskFallback && ::access(HbPathResolveOnDisk(name).c_str(), F_OK) == 0)
        return 1;
    return 0;
}

HbPackArchive* HbPackSet::GetMounted(int32_t index) const
{
    HbPtrListNode* node = mMounted.GetHead();
    for (int32_t i = 0; node && i < index; ++i)
        node = node->next;
    return node && index >= 0 ? static_cast<Mounted*>(node->value)->archive : nullptr;
}

// ---- Entry helpers -----------------------------------------------------------------------

HbPackArchive* HbPackEntryRootArchive(const HbFile* file)
{
    if (!file || !file->archive)
        return nullptr;
    HbPackArchive* archive = file->archive;
    while (archive->GetFile() && archive->GetFile()->archive)
        archive = archive->GetFile()->archive;
    return archive;
}

int HbPackEntryAbsoluteRange(const HbFile* file, int64_t* start, int64_t* end)
{
    if (!file || !file->archive)
        return 0;
    int64_t s = file->entryStart;
    int64_t e = file->entryEnd;
    for (HbFile* outer = file->archive->GetFile(); outer && outer->archive; outer = outer->archive->GetFile())
    {
        s += outer->entryStart;
        e += outer->entryStart;
    }
    if (start)
        *start = s;
    if (end)
        *end = e;
    return 1;
}
