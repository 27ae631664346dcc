// Mutated-input sweeps of the font readers under the sanitizers: ".met" files of the three
// formats with bytes changed, inserted, removed and lines cut or repeated, and scanned
// glyph sheets with separator and stray pixels. Every read either refuses the file or gives
// a font that measures and draws.
#include "brush2d.h"
#include "filesystem.h"
#include "font2d.h"
#include "fontwriter.h"
#include "toolfixture.h"
#include "vector.h"

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

namespace
{

/// ".met" files served from memory through the engine's file table, so a sweep reads
/// thousands of them without touching the disk; other names go to the table it replaced.
struct MemoryFiles
{
    struct Open
    {
        const std::string* text;
        size_t position;
    };
    static inline std::map<std::string, std::string> files;
    static inline FileFunctions saved;

    static void Install()
    {
        FileFunctions* table = FileSystem::GetFunctions();
        saved = *table;
        table->exists = Exists;
        table->open = OpenFile;
        table->gets = Gets;
        table->close = Close;
    }
    static void Remove() { *FileSystem::GetFunctions() = saved; }

    static int32_t Exists(const char* name) { return files.count(name) ? 1 : saved.exists(name); }
    static void* OpenFile(const char* name, const char* mode)
    {
        auto found = files.find(name);
        if (found == files.end())
            return saved.open(name, mode);
        void* handle = new Open{&found->second, 0};
        sOpen.insert(handle);
        return handle;
    }
    static char* Gets(char* buffer, int32_t length, void* file)
    {
        if (!sOpen.count(file))
            return saved.gets(buffer, length, file);
        auto* open = static_cast<Open*>(file);
        const std::string& text = *open->text;
        if (open->position >= text.size() || length < 2)
            return nullptr;
        int32_t n = 0;
        while (n < length - 1 && open->position < text.size())
        {
            char c = text[open->position++];
            buffer[n++] = c;
            if (c == '\n')
                break;
        }
        buffer[n] = '\0';
        return buffer;
    }
    static int32_t Close(void* file)
    {
        if (!sOpen.erase(file))
            return saved.close(file);
        delete static_cast<Open*>(file);
        return 0;
    }
    static inline std::set<void*> sOpen;
};

class Font2dSweep : public tooltest::DriverToolTest
{
protected:
    void SetUp() override
    {
        DriverToolTest::SetUp();
        mFolder = tooltest::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NE(Font2d::SetPath(mFolder.c_str()), nullptr);
        mBrush = Brush2d::Create();
    }
    void TearDown() override
    {
        Brush2d::Destroy(mBrush);
        DriverToolTest::TearDown();
    }

    /// Reads the font and, when it reads, measures (and now and then draws) a string of every
    /// kind of character with it.
    void ReadAndUse(const std::string& name)
    {
        Font2d* font = Font2d::Read(name.c_str());
        if (!font)
            return;
        ++mRead;
        const uint8_t text[] = {'A', 'b', 0x16, 0x04, 0xE9, 0x00, '9', 0x00, 0x00, 0x00};
        float width = Font2d::GetStringWidth(font, text, 0.05f);
        (void)width;
        // Drawing costs the most; every fourth font that reads is drawn.
        Vector2 anchor = {0.1f, 0.5f};
        if (mRead % 4 == 0)
            Font2d::RenderString(font, text, 0.05f, &anchor, mBrush);
        Font2d::Destroy(font);
    }

    /// A new file in place of the old one: truncating a file in place makes the file system
    /// flush it at every close, which would make the sweep slow.
    bool Replace(const std::string& name, const std::string& text)
    {
        std::filesystem::remove(mFolder + name);
        return FontWriter::WriteText(mFolder + name, text);
    }

    std::string mFolder;
    Brush2d* mBrush = nullptr;
    int mRead = 0;
};

std::string Mutate(std::string text, std::mt19937& random)
{
    static const char kAlphabet[] = "0123456789 -x\n\r;.%sfbeginendmovetolinetocurvetoclosepath\x80\xC3\xE2\xFF";
    int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i)
    {
        size_t at = text.empty() ? 0 : random() % text.size();
        switch (random() % 6)
        {
        case 0:
            if (!text.empty())
                text[at] = char(random() % 256);
            break;
        case 1:
            text.insert(at, 1, kAlphabet[random() % (sizeof kAlphabet - 1)]);
            break;
        case 2:
            text.erase(at, 1 + random() % 8);
            break;
        case 3:
            text.resize(at);
            break;
        case 4:
        {
            size_t end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
            text.insert(at, line);
            break;
        }
        default:
            text.insert(at, std::string(1 + random() % 300, kAlphabet[random() % (sizeof kAlphabet - 1)]));
            break;
        }
    }
    return text;
}

TEST_F(Font2dSweep, MutatedMetricsFilesAreRefusedOrRead)
{
    FontWriterSheet plain;
    plain.width = 64;
    plain.height = 32;
    plain.rgba.assign(64 * 32 * 4, 0xFF);
    ASSERT_TRUE(FontWriter::WritePng(mFolder + "sheet.png", plain));
    std::vector<FontWriterSheet> sheets;
    FontWriterSection section;
    section.texture = "cells";
    section.width = 48;
    section.pitch = 10;
    for (uint32_t c : {uint32_t('A'), uint32_t('b'), 0xE9u, 0x416u, uint32_t('9'), uint32_t('Z'), 0x20ACu})
        section.cells.push_back({c, 3 + int32_t(c % 5)});
    FontWriterSection second = section;
    second.texture = "cells2";
    second.pitch = 14;
    const std::string scanned = FontWriter::Metrics2({section, second}, &sheets);
    ASSERT_TRUE(FontWriter::WritePng(mFolder + "cells.png", sheets[0]));
    ASSERT_TRUE(FontWriter::WritePng(mFolder + "cells2.png", sheets[1]));
    const std::string listed =
        FontWriter::Metrics1("sheet", "", 4, {{'A', 0, 0, 8, 16}, {'b', 8, 0, 16, 16}, {0x416, 16, 0, 30, 12}});
    OutlineGlyph glyph = {'A',
                          {{OutlineOp::MoveTo, {0, 0}},
                           {OutlineOp::LineTo, {0.5f, 1}},
                           {OutlineOp::CurveTo, {0.6f, 0.5f, 0.8f, 0.2f, 1, 0}},
                           {OutlineOp::Close, {}}},
                          1.1f};
    OutlineGlyph wide = glyph;
    wide.code = 0x416;
    const std::string outline = FontWriter::Metrics3("Sweep", {glyph, wide});

    // Fonts kept open hold the sheets in the font dictionary, so the sweep reads text only.
    ASSERT_TRUE(FontWriter::WriteText(mFolder + "keep1.met", listed));
    ASSERT_TRUE(FontWriter::WriteText(mFolder + "keep2.met", scanned));
    Font2d* keepListed = Font2d::Read("keep1");
    Font2d* keepScanned = Font2d::Read("keep2");
    ASSERT_NE(keepListed, nullptr);
    ASSERT_NE(keepScanned, nullptr);

    BeginFrame(0xFF000000);
    MemoryFiles::Install();
    std::mt19937 random(46);
    for (const std::string& base : {listed, scanned, outline})
        for (int i = 0; i < 1000; ++i)
        {
            MemoryFiles::files[mFolder + "m.met"] = Mutate(base, random);
            ReadAndUse("m");
        }
    MemoryFiles::Remove();
    MemoryFiles::files.clear();
    EndFrame();
    EXPECT_GT(mRead, 300) << "most mutations still read";
    Font2d::Destroy(keepScanned);
    Font2d::Destroy(keepListed);
}

TEST_F(Font2dSweep, MutatedGlyphSheetsAreRefusedOrRead)
{
    std::mt19937 random(4646);
    BeginFrame(0xFF000000);
    for (int i = 0; i < 120; ++i)
    {
        FontWriterSection section;
        section.texture = "sheet";
        section.width = 16 + int32_t(random() % 48);
        section.pitch = 4 + int32_t(random() % 12);
        int cells = 1 + int(random() % 12);
        for (int c = 0; c < cells; ++c)
            section.cells.push_back({uint32_t('A' + c), 1 + int32_t(random() % 8)});
        std::vector<FontWriterSheet> sheets;
        std::string text = FontWriter::Metrics2({section}, &sheets);
        if (sheets.empty())
            continue;
        FontWriterSheet& sheet = sheets[0];
        int pixels = 1 + int(random() % 8);
        for (int p = 0; p < pixels; ++p)
        {
            size_t at = (random() % (size_t(sheet.width) * size_t(sheet.height))) * 4;
            if (random() % 2)
                std::copy(section.separator, section.separator + 4, sheet.rgba.begin() + long(at));
            else
                sheet.rgba[at + random() % 4] = uint8_t(random());
        }
        if (random() % 4 == 0) // fewer characters than cells, or more
            text = random() % 2 ? text.substr(0, text.size() / 2) : text + "QRSTUVWXYZ\n";
        std::filesystem::remove(mFolder + "sheet.png");
        ASSERT_TRUE(FontWriter::WritePng(mFolder + "sheet.png", sheet));
        ASSERT_TRUE(Replace("s.met", text));
        ReadAndUse("s");
    }
    EndFrame();
    EXPECT_GT(mRead, 10);
}

} // namespace
