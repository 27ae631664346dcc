// The content builder: two runs give the same bytes, the player's preference files survive a
// rebuild untouched, and every resource every group declares resolves through the game's own
// readers (textures, the font, texts, sounds, the first script).
#include "contentset.h"
#include "gamecommands.h"
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "hbtext.h"
#include "hbvariable.h"
#include "herocontent.h"
#include "levelcontent.h"
#include "raster.h"
#include "rdanim.h"
#include "rdanimset.h"
#include "rdmodel.h"
#include "rdskeleton.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "scriptinterpreter.h"
#include "texture.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "tsfmod.h"
#include "tsscenaricdatabase.h"
#include "w2dlabel.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "wtexturemanager.h"
#include "yoscenaricmark.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
std::map<std::string, std::string> Files(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
        {
            std::ifstream in(entry.path(), std::ios::binary);
            files[fs::relative(entry.path(), folder).string()] = std::string((std::istreambuf_iterator<char>(in)), {});
        }
    return files;
}

class MkContent : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Started();
    }
};

TEST_F(MkContent, TwoRunsGiveTheSameBytesAndARebuildTouchesOnlyWhatItWrites)
{
    ASSERT_EQ(ContentWrite("one"), "");
    ASSERT_EQ(ContentWrite("two"), "");
    const std::map<std::string, std::string> one = Files("one");
    EXPECT_EQ(one, Files("two"));
    EXPECT_FALSE(fs::exists("one.tmp"));
    // Every group has its script and its pack; the tool writes no preference file.
    for (const ContentGroup& group : ContentGroups())
    {
        EXPECT_EQ(one.count(std::string(group.name) + ".scr"), 1u) << group.name;
        EXPECT_EQ(one.count(std::string(group.name) + ".PAK"), 1u) << group.name;
    }
    EXPECT_EQ(one.count("gprefs.dat") + one.count("vprefs.dat"), 0u);

    // A rebuild over a set someone has used: whatever the tool does not write stays byte for
    // byte (screenshots, preferences of an older run, anything else), what it writes is made
    // again (a damaged pack is mended).
    const std::map<std::string, std::string> foreign = {
        {"gprefs.dat", std::string("\x01\x02\x00\x03", 4)},
        {"vprefs.dat", "video"},
        {"screenshot_0.bmp", "BM picture"},
        {"drive/mine.txt", "a drive of my own"},
    };
    for (const auto& [name, bytes] : foreign)
        std::ofstream("one/" + name, std::ios::binary) << bytes;
    std::ofstream("one/PERMANENT.PAK", std::ios::binary | std::ios::trunc) << "damaged";
    ASSERT_EQ(ContentWrite("one"), "");
    std::map<std::string, std::string> rebuilt = Files("one");
    for (const auto& [name, bytes] : foreign)
    {
        EXPECT_EQ(rebuilt[name], bytes) << name;
        rebuilt.erase(name);
    }
    EXPECT_EQ(rebuilt, one);
    EXPECT_FALSE(fs::exists("one.tmp"));
}

TEST_F(MkContent, EveryDeclaredResourceResolvesThroughTheGamesReaders)
{
    ASSERT_EQ(ContentWrite("set"), "");
    const fs::path previous = fs::current_path();
    fs::current_path("set");
    HbCommandManager::Instance()->ExecuteLine("execute variable.scr");
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    // The script root the game appends to the search path at its start.
    std::string root;
    ASSERT_EQ(HbGetStringVariable("PYTHON_ROOT_PATH", root), 1);
    PyObject* entry = PyUnicode_FromString(root.c_str());
    ASSERT_EQ(PyList_Append(PySys_GetObject("path"), entry), 0);
    Py_DECREF(entry);
    ASSERT_EQ(HbDataManager::Create(), 1);
    ASSERT_EQ(TsFModStart(), 0);
    ResourceGroupResetLayers();
    GameCommandsReset();

    // The level script's modules are the level host's; here they answer every call with None,
    // so that the script imports as the sector group loads it.
    ASSERT_EQ(PyRun_SimpleString("import sys, types\n"
                                 "for name in ('scenaric', 'actors_type', 'skills', 'mark', 'event'):\n"
                                 "    stub = types.ModuleType(name)\n"
                                 "    stub.__getattr__ = lambda attribute: (lambda *args: None)\n"
                                 "    sys.modules[name] = stub\n"),
              0);
    std::vector<std::string> quits;
    for (const ContentGroup& group : ContentGroups())
    {
        SCOPED_TRACE(group.name);
        ASSERT_EQ(ResourceGroupLoad(group.name, 0), 0);
        const ResourceGroup* loaded = ResourceGroupFind(group.name);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->packMounted, 1);
        // Streams are only registered; every other resource made one record.
        size_t streams = 0;
        for (const ContentResource& resource : group.resources)
            streams += std::string(resource.id).find("_STDSB") != std::string::npos;
        ASSERT_EQ(size_t(loaded->resources.GetCount()), group.resources.size() - streams);

        HbPtrListNode* node = loaded->resources.GetHead();
        for (const ContentResource& resource : group.resources)
        {
            SCOPED_TRACE(resource.id);
            if (std::string(resource.id).find("_STDSB") != std::string::npos)
            {
                HbFile* file = HbFileOpen(HbResourceManager::Instance()->GetPath(resource.id), "rb");
                EXPECT_NE(file, nullptr);
                if (file)
                    HbFileClose(file);
                continue;
            }
            const auto* record = static_cast<const ResourceRecord*>(node->value);
            node = node->next;
            EXPECT_EQ(record->id, resource.id);
            switch (resource.kind)
            {
            case ContentKind::Picture:
            {
                Texture* texture = WTextureManager::Instance()->GetTexture(resource.id);
                ASSERT_NE(texture, nullptr);
                EXPECT_EQ(texture->raster->width, kContentPictureSide);
                Texture::Destroy(texture);
                break;
            }
            case ContentKind::Font:
                EXPECT_NE(record->font, nullptr);
                break;
            case ContentKind::Text:
            {
                const auto* text = dynamic_cast<const HbText*>(record->object);
                ASSERT_NE(text, nullptr);
                EXPECT_FALSE(text->GetText().empty());
                if (std::string(resource.id) == "TX_MENU_MAIN_QUIT_TXT")
                    quits.push_back(text->GetText());
                break;
            }
            case ContentKind::Sound:
                EXPECT_NE(record->object, nullptr);
                break;
            case ContentKind::Script:
                EXPECT_NE(record->module, nullptr);
                break;
            case ContentKind::Skeleton:
            {
                const auto* skeleton = HbCastTo<RdSkeleton>(record->object);
                ASSERT_NE(skeleton, nullptr);
                EXPECT_EQ(skeleton->GetBoneCount(), int32_t(HeroBoneNames().size()));
                break;
            }
            case ContentKind::Model:
            {
                const auto* model = HbCastTo<RdModel>(record->object);
                ASSERT_NE(model, nullptr);
                EXPECT_NE(model->GetClump(), nullptr);
                break;
            }
            case ContentKind::Animation:
                EXPECT_NE(HbCastTo<RdAnimation>(record->object), nullptr);
                break;
            case ContentKind::Data:
                // A console file has no reader of its own: it is run by name.
                if (std::string(resource.id).find("_SCR") != std::string::npos)
                {
                    HbFile* file = HbFileOpen(HbResourceManager::Instance()->GetPath(resource.id), "rb");
                    EXPECT_NE(file, nullptr);
                    if (file)
                        HbFileClose(file);
                }
                else
                    EXPECT_NE(record->object, nullptr);
                break;
            }
        }
        // A page group's script fills the label or artwork pages, one per line.
        size_t labels = 0, artworks = 0;
        for (const std::string& line : group.commands)
        {
            labels += line.rfind("CreateLabel ", 0) == 0;
            artworks += line.rfind("CreateArtwork ", 0) == 0;
        }
        EXPECT_EQ(LabelList::Instance()->GetCount(), int32_t(labels));
        EXPECT_EQ(ArtworkList::Instance()->GetCount(), int32_t(artworks));
        LabelList::Instance()->Clear();
        ArtworkList::Instance()->Clear();
        // The game holds one language at a time.
        if (std::find(ContentLanguages().begin(), ContentLanguages().end(), group.name) != ContentLanguages().end())
            EXPECT_EQ(ResourceGroupUnload(group.name), 0);
    }
    EXPECT_EQ(quits, (std::vector<std::string>{"Quit", "Quitter", "Beenden", "Salir", "Esci"}));

    // The hero's model description gives a figure with its skeleton, its skinned body and a
    // hierarchy of every bone.
    W3dAnimObject* hero = W3dAnimObject::Create();
    ASSERT_NE(hero, nullptr);
    hero->AddRef();
    EXPECT_EQ(hero->LoadDescription(kHeroModelDescription), 1);
    EXPECT_NE(hero->GetMotor().GetSkeleton(), nullptr);
    EXPECT_NE(hero->GetMotor().GetModel(), nullptr);
    EXPECT_NE(hero->GetBoneFrame(TsAnimActor::kWeaponBone), nullptr);
    hero->Release();
    // Every animation the hero's weapons lead to is in the group, and each moves the way its
    // name says: the root travels (and the pelvis drops when crouched or dying).
    int32_t rows = 0;
    const AnimSetRow* fill = AnimSetRows(&rows);
    for (int32_t i = 0; i < rows; ++i)
        if (fill[i].kind == kAnimSetM1 || fill[i].kind == kAnimSetP38)
            EXPECT_NE(HbResourceManager::Instance()->GetResource(fill[i].resourceId), nullptr) << fill[i].resourceId;
    const struct
    {
        const char* id;
        int axis; ///< 0 x, 1 y, 2 z
        float sign;
    } travels[] = {{"HE_WALK_M1_ANM", 2, 1},      {"HE_RUN_P38_ANM", 2, 1},   {"HE_WALK_B_A_ANM", 2, -1},
                   {"HE_WALK_L_A_ANM", 0, 1},     {"HE_WALK_R_A_ANM", 0, -1}, {"HE_LADDER_UP_ANM", 1, 1},
                   {"HE_LADDER_DOWN_ANM", 1, -1}, {"HE_ROLL_M1_ANM", 2, 1},   {"HE_CROUCH_F_M1_ANM", 2, 1}};
    for (const auto& t : travels)
    {
        const auto* animation = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource(t.id));
        ASSERT_NE(animation, nullptr) << t.id;
        const Vector delta = animation->GetRootDelta();
        const float along[3] = {delta.x, delta.y, delta.z};
        EXPECT_GT(along[t.axis] * t.sign, 30.0f) << t.id;
    }

    // The first sector: every mark stands on the level's ground (a line down from above it
    // meets the ground at the mark's height within a unit), the figure's soles are at its root,
    // and the navigation graph leads from the hero's start through the doorway to the objective.
    HbResourceManager* resources = HbResourceManager::Instance();
    auto* level = HbCastTo<W3dLevel>(resources->GetResource("W1L1_LEVEL_WL"));
    auto* marks = HbCastTo<TsScenaricDataBase>(resources->GetResource("W1L1_SCE"));
    auto* graph = HbCastTo<TsAStarPathfinder>(resources->GetResource("W1L1_NAV_AS"));
    ASSERT_NE(level, nullptr);
    ASSERT_NE(marks, nullptr);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(marks->GetRejectedCount(), 0);
    for (const char* name :
         {"MK_HERO_START01", "MK_OBJECTIVE01", "MK_PATROL01", "MK_PATROL02", "MK_PATROL03", "MK_PATROL04"})
    {
        YoScenaricMark* mark = marks->FindMark(name);
        ASSERT_NE(mark, nullptr) << name;
        const Vector at = mark->GetPosition();
        // From under the building's roof: a mark may stand inside.
        const Vector above = {at.x, at.y + 100.0f, at.z}, below = {at.x, at.y - 100.0f, at.z};
        W3dCollisionResult hit{};
        ASSERT_TRUE(CollisionTestLine(level, &above, &below, nullptr, nullptr, &hit, nullptr)) << name;
        EXPECT_NEAR(above.y + (below.y - above.y) * hit.distance, at.y, 1.0f) << name;
        EXPECT_TRUE(graph->IsPointOnGraph(at)) << name;
    }
    const Vector start = marks->FindMark("MK_HERO_START01")->GetPosition();
    EXPECT_NEAR(start.x, kLevelHeroStart[0], 0.01f);
    EXPECT_NEAR(start.z, kLevelHeroStart[2], 0.01f);
    // The start reaches the first objective's place in the yard. From it, and from a corner of
    // the yard whose straight line to the mission's exit inside the building would cross the
    // wall: where a path crosses the building's south wall, it is in the doorway.
    const Vector objective = marks->FindMark("MK_OBJECTIVE01")->GetPosition();
    EXPECT_EQ(graph->FindPath(start, objective), 1);
    const Vector exit = {kLevelExit[0], kLevelExit[1], kLevelExit[2]};
    for (const Vector from : {start, Vector{-800.0f, 0.0f, -600.0f}})
    {
        ASSERT_EQ(graph->FindPath(from, exit), 1);
        const std::vector<Vector>& way = graph->GetPath();
        std::string path;
        bool throughTheDoor = false;
        for (size_t i = 0; i < way.size(); ++i)
        {
            path += " (" + std::to_string(way[i].x) + ", " + std::to_string(way[i].z) + ")";
            const Vector previous = i == 0 ? from : way[i - 1];
            if ((previous.z - 210.0f) * (way[i].z - 210.0f) <= 0.0f && way[i].z != previous.z)
            {
                const float t = (210.0f - previous.z) / (way[i].z - previous.z);
                throughTheDoor = std::fabs(previous.x + t * (way[i].x - previous.x)) <= 60.0f;
            }
        }
        EXPECT_TRUE(throughTheDoor) << "the yard reaches the building only through its doorway:" << path;
    }

    ResourceGroupUnloadAll();
    while (HbPackSet::Instance()->GetMountedCount() > 0)
        HbPackSet::Instance()->Unmount(nullptr);
    HbPackSet::Instance()->SetEnabled(0);
    HbPackSet::Instance()->SetDiskFallback(0);
    TsFModClose();
    HbDataManager::Destroy();
    ScriptInterpreter::Stop();
    GameCommandsReset();
    fs::current_path(previous);
    EXPECT_FALSE(fs::exists("set/gprefs.dat"));
}
} // namespace
