// Benchmark: opening entries by name in a mounted archive of 10,000 entries
// against opening loose files on the disk, reading a large entry in small
// pieces against plain stdio, looking names up in indexes of 100 and 100,000
// entries, and opening archives of 1,000 and 100,000 entries; prints the time
// ratios at the end.
#include "benchsupport.h"
#include "hbfile.h"
#include "hbpack.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr int kEntries = 10000;
constexpr size_t kLargeSize = 8 << 20;
constexpr size_t kPiece = 64;

std::string EntryName(int i)
{
    return "textures\\set" + std::to_string(i % 37) + "\\entry" + std::to_string(i) + ".tex";
}

std::string LooseName(int i)
{
    return "entry" + std::to_string(i) + ".tex";
}

// The archive, the same entries as loose files and a large file, made once in
// a directory of their own and removed at exit.
class Content
{
public:
    Content()
    {
        char pattern[] = "/tmp/hbfile_bench_XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        mDir = pattern;
        std::filesystem::create_directories(mDir + "/loose");
        std::string small(32, 's');
        std::vector<char> large(kLargeSize);
        for (size_t i = 0; i < large.size(); ++i)
            large[i] = static_cast<char>(i * 31);

        HbPackArchive writer;
        if (!writer.Open(Pack().c_str(), "wb"))
            std::abort();
        for (int i = 0; i < kEntries; ++i)
        {
            writer.AddEntry(EntryName(i), small.data(), small.size());
            if (FILE* f = std::fopen(Loose(i).c_str(), "wb"))
            {
                std::fwrite(small.data(), 1, small.size(), f);
                std::fclose(f);
            }
        }
        writer.AddEntry("large.bin", large.data(), large.size());
        writer.Close();
        if (FILE* f = std::fopen(Large().c_str(), "wb"))
        {
            std::fwrite(large.data(), 1, large.size(), f);
            std::fclose(f);
        }

        HbPackSet* set = HbPackSet::Instance();
        set->Mount(Pack().c_str());
        set->SetEnabled(1);
        set->SetDiskFallback(1);
    }
    ~Content()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mDir, ignored);
    }

    std::string Pack() const { return mDir + "/content.pak"; }
    std::string Loose(int i) const { return mDir + "/loose/" + LooseName(i); }
    std::string Large() const { return mDir + "/large.bin"; }

private:
    std::string mDir;
};

Content& GetContent()
{
    static Content content;
    return content;
}

// Names asked in a fixed scattered order, so neither side profits from locality.
std::vector<int> Order()
{
    std::vector<int> order;
    for (int i = 0; i < kEntries; ++i)
        order.push_back(static_cast<int>((static_cast<int64_t>(i) * 7919) % kEntries));
    return order;
}

void BM_PackOpenByName(benchmark::State& state)
{
    GetContent();
    std::vector<std::string> names;
    for (int i : Order())
        names.push_back(EntryName(i));
    size_t next = 0;
    for (auto _ : state)
    {
        HbFile* file = HbFileOpen(names[next].c_str(), "rb");
        benchmark::DoNotOptimize(file);
        HbFileClose(file);
        next = next + 1 == names.size() ? 0 : next + 1;
    }
}

void BM_DiskOpenByName(benchmark::State& state)
{
    Content& content = GetContent();
    std::vector<std::string> names;
    for (int i : Order())
        names.push_back(content.Loose(i));
    size_t next = 0;
    for (auto _ : state)
    {
        FILE* file = std::fopen(names[next].c_str(), "rb");
        benchmark::DoNotOptimize(file);
        if (file)
            std::fclose(file);
        next = next + 1 == names.size() ? 0 : next + 1;
    }
}

void BM_PackReadSmallPieces(benchmark::State& state)
{
    GetContent();
    char piece[kPiece];
    for (auto _ : state)
    {
        HbFile* file = HbFileOpen("large.bin", "rb");
        size_t total = 0;
        while (size_t n = HbFileRead(piece, 1, sizeof(piece), file))
            total += n;
        benchmark::DoNotOptimize(total);
        HbFileClose(file);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

void BM_StdioReadSmallPieces(benchmark::State& state)
{
    Content& content = GetContent();
    char piece[kPiece];
    for (auto _ : state)
    {
        FILE* file = std::fopen(content.Large().c_str(), "rb");
        size_t total = 0;
        while (size_t n = std::fread(piece, 1, sizeof(piece), file))
            total += n;
        benchmark::DoNotOptimize(total);
        std::fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargeSize));
}

// Look-ups of present names in an index of state.range(0) entries.
void BM_PackLookup(benchmark::State& state)
{
    int count = static_cast<int>(state.range(0));
    HbPackArchive archive;
    for (int i = 0; i < count; ++i)
        archive.AddIndexEntry(EntryName(i), 16, 48);
    // The names asked, in a scattered order but laid out one after the other, so
    // that the time is the index's and not that of fetching the question.
    std::string text;
    std::vector<std::pair<size_t, size_t>> spans;
    for (int i = 0, at = 0; i < count; ++i, at = (at + 7919) % count)
    {
        std::string name = EntryName(at);
        spans.push_back({text.size(), name.size()});
        text += name;
    }
    size_t next = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(archive.FindEntry(std::string_view(text).substr(spans[next].first, spans[next].second)));
        next = next + 1 == spans.size() ? 0 : next + 1;
    }
}

// Opening (reading the index of) an archive of state.range(0) entries; items are entries.
void BM_PackOpenArchive(benchmark::State& state)
{
    int count = static_cast<int>(state.range(0));
    char pattern[] = "/tmp/hbfile_bench_XXXXXX";
    if (!::mkdtemp(pattern))
        std::abort();
    std::string path = std::string(pattern) + "/index.pak";
    {
        HbPackArchive writer;
        writer.Open(path.c_str(), "wb");
        for (int i = 0; i < count; ++i)
            writer.AddEntry(EntryName(i), "d", 1);
        writer.Close();
    }
    for (auto _ : state)
    {
        HbPackArchive archive;
        benchmark::DoNotOptimize(archive.Open(path.c_str(), "rb"));
        archive.Close();
    }
    state.SetItemsProcessed(state.iterations() * count);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
}

BENCHMARK(BM_PackLookup)->Arg(100)->Arg(100000);
BENCHMARK(BM_PackOpenArchive)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackOpenByName);
BENCHMARK(BM_DiskOpenByName);
BENCHMARK(BM_PackReadSmallPieces)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdioReadSmallPieces)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(
        argc, argv,
        {{"open by name, archive of 10,000 entries / loose file on disk", "BM_PackOpenByName", "BM_DiskOpenByName"},
         {"read in 64-byte pieces, archive entry / stdio", "BM_PackReadSmallPieces", "BM_StdioReadSmallPieces"},
         {"look-up, index of 100,000 / of 100 entries", "BM_PackLookup/100000", "BM_PackLookup/100"},
         {"open, archive of 100,000 / of 1,000 entries (linear growth gives 100)", "BM_PackOpenArchive/100000",
          "BM_PackOpenArchive/1000"}});
}
