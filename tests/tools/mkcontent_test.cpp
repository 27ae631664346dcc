// The content builder: two runs give the same bytes, the player's preference files survive a
// rebuild untouched, and every resource every group declares resolves through the game's own
// readers (textures, the font, texts, sounds, the first script).
#include "animation.h"
#include "clump.h"
#include "contentset.h"
#include "gamecommands.h"
#include "geometry.h"
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
#include "rdnameidtable.h"
#include "rdskeleton.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "scriptinterpreter.h"
#include "stdkey.h"
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
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
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

/// Whether some key of the node turns it more than 5 degrees, or moves it more than 5 units,
/// away from the standing animation's first key of the node.
bool LeavesPose(const RdAnimation* animation, const RdAnimation* stand, int32_t node)
{
    const Animation* a = animation->GetAnimation();
    const Animation* s = stand->GetAnimation();
    if (!a || !s || node >= a->nodeCount || node >= s->nodeCount)
        return false;
    const auto* rest = reinterpret_cast<const StdKeyFrame*>(Animation::KeyFrame(s, node));
    for (int32_t i = 0; i < a->keyFrameCount; ++i)
    {
        // A key's node is the one of the first key its chain of previous keys reaches.
        const AnimKeyFrameHeader* first = Animation::KeyFrame(a, i);
        while (first->previous)
            first = first->previous;
        if (first != Animation::KeyFrame(a, node))
            continue;
        const auto* key = reinterpret_cast<const StdKeyFrame*>(Animation::KeyFrame(a, i));
        const float dot =
            std::fabs(key->q.x * rest->q.x + key->q.y * rest->q.y + key->q.z * rest->q.z + key->q.w * rest->q.w);
        const float dx = key->t.x - rest->t.x, dy = key->t.y - rest->t.y, dz = key->t.z - rest->t.z;
        if (dot < std::cos(2.5f * 3.14159265f / 180.0f) || dx * dx + dy * dy + dz * dz > 25.0f)
            return true;
    }
    return false;
}

/// Upper-case letters and digits of the text, every other run of characters one '_'.
std::string Normalised(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        const bool word = std::isalnum(static_cast<unsigned char>(c));
        if (word)
            out += char(std::toupper(static_cast<unsigned char>(c)));
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    return out;
}

/// A text that spells out its id ("DE Menu video options" for "TX_MENU_VIDEO_OPTIONS_TXT"):
/// what a screen shows when nobody wrote the text.
bool ShowsItsId(const std::string& text, const std::string& id)
{
    const std::string words = Normalised(text), core = id.substr(3, id.size() - 7);
    // A one-word id ("TX_NEXT_TXT") may well read as its word.
    return (core.find('_') != std::string::npos && words.find(core) != std::string::npos) ||
           words.find(id) != std::string::npos;
}

/// Every text id named in the text: "TX_..._TXT", a "%d" in it standing for missions 1 to 7.
void CollectTextIds(const std::string& text, std::set<std::string>* ids)
{
    static const std::regex pattern("TX_[A-Z0-9_%d]*_TXT");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it)
    {
        const std::string id = it->str();
        const size_t at = id.find("%d");
        if (at == std::string::npos)
            ids->insert(id);
        else
            for (int mission = 1; mission <= 7; ++mission)
                ids->insert(id.substr(0, at) + std::to_string(mission) + id.substr(at + 2));
    }
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

TEST(ContentTexts, ShowsItsIdSpotsATextMadeFromItsId)
{
    EXPECT_TRUE(ShowsItsId("DE Menu video options", "TX_MENU_VIDEO_OPTIONS_TXT"));
    EXPECT_TRUE(ShowsItsId("TX_MENU_MAIN_NEW_TXT", "TX_MENU_MAIN_NEW_TXT"));
    EXPECT_FALSE(ShowsItsId("Grafik", "TX_MENU_VIDEO_OPTIONS_TXT"));
    EXPECT_FALSE(ShowsItsId("Options", "TX_MENU_MAIN_OPTIONS_TXT"));
    EXPECT_FALSE(ShowsItsId("Next", "TX_NEXT_TXT"));
}

TEST_F(MkContent, EveryTextTheGameLooksUpIsWrittenInEveryLanguage)
{
    // The ids the game's screens, pages, key hints and log look up, and those the set's own
    // scripts, page commands and level files name.
    std::set<std::string> wanted;
    for (const char* folder : {"src/app", "src/ui", "src/scenario", "src/gameplay"})
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(fs::path(VELMORAN_SOURCE_DIR) / folder))
            if (entry.path().extension() == ".cpp")
            {
                std::ifstream in(entry.path());
                CollectTextIds(std::string((std::istreambuf_iterator<char>(in)), {}), &wanted);
            }
    ASSERT_GT(wanted.size(), 50u) << "the sources were not found under " << VELMORAN_SOURCE_DIR;
    for (const ContentGroup& group : ContentGroups())
    {
        for (const std::string& line : group.commands)
            CollectTextIds(line, &wanted);
        for (const ContentResource& resource : group.resources)
        {
            if (resource.body)
                CollectTextIds(resource.body, &wanted);
            if (resource.make)
                CollectTextIds(resource.make(), &wanted);
        }
    }

    ASSERT_EQ(ContentWrite("texts"), "");
    const fs::path previous = fs::current_path();
    fs::current_path("texts");
    ASSERT_EQ(HbDataManager::Create(), 1);
    ResourceGroupResetLayers();
    GameCommandsReset();
    std::vector<std::map<std::string, std::string>> read(ContentLanguages().size());
    for (size_t language = 0; language < ContentLanguages().size(); ++language)
    {
        const std::string& name = ContentLanguages()[language];
        ASSERT_EQ(ResourceGroupLoad(name.c_str(), 0), 0) << name;
        for (const std::string& id : wanted)
        {
            HbRoot* resource = HbResourceManager::Instance()->GetResource(id.c_str());
            const auto* text = resource ? HbCastTo<HbText>(resource) : nullptr;
            ASSERT_NE(text, nullptr) << name << " has no " << id;
            read[language][id] = text->GetText();
            EXPECT_FALSE(text->GetText().empty()) << name << " " << id;
            EXPECT_FALSE(ShowsItsId(text->GetText(), id)) << name << " " << id << ": " << text->GetText();
        }
        EXPECT_EQ(ResourceGroupUnload(name.c_str()), 0);
    }
    // Translated: a language reads mostly otherwise than English (a few words, "Options",
    // "Normal", "No", are the same).
    for (size_t language = 1; language < read.size(); ++language)
    {
        size_t same = 0;
        for (const auto& [id, text] : read[language])
            same += text == read[0][id];
        EXPECT_LT(same * 5, read[language].size()) << ContentLanguages()[language] << ": " << same << " texts as in English";
    }

    ResourceGroupUnloadAll();
    while (HbPackSet::Instance()->GetMountedCount() > 0)
        HbPackSet::Instance()->Unmount(nullptr);
    HbPackSet::Instance()->SetEnabled(0);
    HbPackSet::Instance()->SetDiskFallback(0);
    HbDataManager::Destroy();
    GameCommandsReset();
    fs::current_path(previous);
}

TEST(ContentPictures, TheFlagsAreFiveDesignsPeopleTellApartEachWithItsLanguagesName)
{
    const char* const flags[] = {"FE_FLAG_UK_TEX", "FE_FLAG_FR_TEX", "FE_FLAG_DE_TEX", "FE_FLAG_SP_TEX", "FE_FLAG_IT_TEX"};
    std::vector<std::vector<uint8_t>> pictures;
    for (const char* id : flags)
    {
        const ContentResource* found = nullptr;
        for (const ContentGroup& group : ContentGroups())
            for (const ContentResource& resource : group.resources)
                if (std::string(resource.id) == id)
                    found = &resource;
        ASSERT_NE(found, nullptr) << id;
        int32_t width = 0, height = 0;
        pictures.push_back(ContentPicturePixels(*found, &width, &height));
        ASSERT_EQ(width, 128) << id;
        ASSERT_EQ(height, 128) << id;
    }
    auto texel = [](const std::vector<uint8_t>& p, int x, int y, int c) { return int(p[(size_t(y) * 128 + size_t(x)) * 4 + size_t(c)]); };
    // The field: the upper part. Its mean colours are far apart, and any two fields differ over at
    // least a quarter of their texels.
    auto mean = [&](const std::vector<uint8_t>& p, int c)
    {
        long sum = 0;
        for (int y = 4; y < 88; ++y)
            for (int x = 4; x < 124; ++x)
                sum += texel(p, x, y, c);
        return int(sum / (84 * 120));
    };
    for (size_t a = 0; a < pictures.size(); ++a)
        for (size_t b = a + 1; b < pictures.size(); ++b)
        {
            int distance = 0;
            for (int c = 0; c < 3; ++c)
                distance += std::abs(mean(pictures[a], c) - mean(pictures[b], c));
            EXPECT_GT(distance, 40) << flags[a] << " and " << flags[b] << " look alike";
            int differing = 0;
            for (int y = 4; y < 88; ++y)
                for (int x = 4; x < 124; ++x)
                {
                    int d = 0;
                    for (int c = 0; c < 3; ++c)
                        d += std::abs(texel(pictures[a], x, y, c) - texel(pictures[b], x, y, c));
                    differing += d > 60;
                }
            EXPECT_GT(differing * 4, 84 * 120) << flags[a] << " and " << flags[b];
        }
    // The name: light letters across the middle of the dark band under the field.
    for (size_t f = 0; f < pictures.size(); ++f)
    {
        int left = 128, right = -1;
        for (int y = 92; y < 124; ++y)
            for (int x = 0; x < 128; ++x)
                if (texel(pictures[f], x, y, 0) > 200 && texel(pictures[f], x, y, 2) > 200)
                    left = std::min(left, x), right = std::max(right, x);
        EXPECT_GT(right - left, 70) << flags[f];
        EXPECT_NEAR(left + right, 127, 6) << flags[f];
    }
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
                int32_t width = 0, height = 0;
                ContentPicturePixels(resource, &width, &height);
                EXPECT_EQ(texture->raster->width, width);
                EXPECT_EQ(texture->raster->height, height);
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

    // The hero's and the soldiers' model descriptions each give a figure with its skeleton, its
    // skinned body and a hierarchy of every bone, its skin textured by its own PNG beside the
    // model, read by the game's image reader.
    std::vector<Texture*> uniforms;
    for (const char* description : {kHeroModelDescription, kSoldierModelDescription})
    {
        SCOPED_TRACE(description);
        W3dAnimObject* figure = W3dAnimObject::Create();
        ASSERT_NE(figure, nullptr);
        figure->AddRef();
        EXPECT_EQ(figure->LoadDescription(description), 1);
        EXPECT_NE(figure->GetMotor().GetSkeleton(), nullptr);
        EXPECT_NE(figure->GetMotor().GetModel(), nullptr);
        EXPECT_NE(figure->GetBoneFrame(TsAnimActor::kWeaponBone), nullptr);
        Texture* skinTexture = nullptr;
        if (Clump* clump = static_cast<Clump*>(figure->GetEngineObject()))
            Clump::ForAllAtomics(
                clump,
                [](Atomic* atomic, void* data) -> Atomic*
                {
                    Geometry* g = atomic->geometry;
                    if (g && g->materials.count > 0 && g->materials.materials[0]->texture)
                        *static_cast<Texture**>(data) = g->materials.materials[0]->texture;
                    return atomic;
                },
                &skinTexture);
        figure->Release();
        ASSERT_NE(skinTexture, nullptr);
        ASSERT_NE(skinTexture->raster, nullptr);
        EXPECT_EQ(skinTexture->raster->width, kHeroTextureSide);
        EXPECT_EQ(skinTexture->raster->height, kHeroTextureSide);
        uniforms.push_back(skinTexture);
    }
    EXPECT_NE(uniforms[0], uniforms[1]) << "the soldiers wear their own uniform";
    // Every animation the hero's weapons lead to is in the group, and each moves the way its
    // name says: the root travels (and the pelvis drops when crouched or dying).
    int32_t rows = 0;
    const AnimSetRow* fill = AnimSetRows(&rows);
    for (int32_t i = 0; i < rows; ++i)
        if (fill[i].kind == kAnimSetM1 || fill[i].kind == kAnimSetP38 || fill[i].kind == kAnimSetMauser)
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

    // Each kind of motion turns or moves the bones it is about (away from the standing pose by
    // more than a few degrees or units at some key) and leaves the others be.
    const auto* stand = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource("HE_STD_M1_ANM"));
    ASSERT_NE(stand, nullptr);
    const struct
    {
        const char* id;
        std::vector<const char*> moved;
        std::vector<const char*> still;
    } motions[] = {
        {"HE_WALK_M1_ANM", {"Left_Upleg", "Right_Upleg", "Left_Lowleg", "Left_Uparm"}, {"Head"}},
        {"HE_RUN_P38_ANM", {"Left_Upleg", "Right_Upleg", "Right_Uparm"}, {"Head"}},
        {"HE_CROUCH_M1_ANM", {"Pelvis", "Left_Upleg", "Right_Lowleg"}, {"Head", "Left_Uparm"}},
        {"HE_STD_A_M1_ANM", {"Right_Uparm", "Left_Uparm"}, {"Left_Upleg"}},
        {"HE_STD_SHOOT_A_M1_ANM", {"Upper_Torso", "Right_Lowarm", "Right_Uparm"}, {"Left_Upleg"}},
        {"HE_STD_RELOAD_M1_ANM", {"Left_Uparm", "Right_Lowarm"}, {"Left_Upleg", "Head"}},
        {"HE_ROLL_M1_ANM", {"Pelvis", "Left_Upleg", "Right_Lowleg"}, {}},
        {"HE_LADDER_UP_ANM", {"Left_Uparm", "Right_Uparm", "Left_Upleg"}, {}},
        {"EN_HIT_ANM", {"Upper_Torso", "Head"}, {"Left_Upleg"}},
        {"HE_DEATH_1_ANM", {"Pelvis", "Left_Uparm"}, {}},
        {"EN_PATROL_M1_ANM", {"Left_Upleg", "Right_Upleg"}, {"Head"}},
    };
    for (const auto& motion : motions)
    {
        const auto* animation = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource(motion.id));
        ASSERT_NE(animation, nullptr) << motion.id;
        for (const auto& [bones, moves] : {std::pair{&motion.moved, true}, std::pair{&motion.still, false}})
            for (const char* bone : *bones)
            {
                const auto at = std::find(HeroBoneNames().begin(), HeroBoneNames().end(), bone);
                ASSERT_NE(at, HeroBoneNames().end()) << bone;
                EXPECT_EQ(LeavesPose(animation, stand, int32_t(at - HeroBoneNames().begin())), moves)
                    << motion.id << " " << bone;
            }
    }
    // The stepping animations put each foot down once a cycle, the blows strike at their height;
    // standing has no event.
    const struct
    {
        const char* id;
        std::vector<const char*> events;
    } eventful[] = {{"HE_WALK_M1_ANM", {"EVENTID_RIGHT_FOOT_ON_GROUND", "EVENTID_LEFT_FOOT_ON_GROUND"}},
                    {"HE_RUN_P38_ANM", {"EVENTID_RIGHT_FOOT_ON_GROUND", "EVENTID_LEFT_FOOT_ON_GROUND"}},
                    {"EN_PATROL_M1_ANM", {"EVENTID_RIGHT_FOOT_ON_GROUND", "EVENTID_LEFT_FOOT_ON_GROUND"}},
                    {"HE_STR_M1_ANM", {"EVENTID_STRIKE"}},
                    {"HE_STD_M1_ANM", {}}};
    for (const auto& e : eventful)
    {
        auto* animation = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource(e.id));
        ASSERT_NE(animation, nullptr) << e.id;
        const RdEventSet* set = animation->GetEventSet();
        ASSERT_NE(set, nullptr) << e.id;
        std::vector<std::string> names;
        float last = -1.0f;
        for (int32_t i = 0; i < set->GetCount(); ++i)
        {
            std::string name;
            NameIdTable::Events()->FindNameById(set->Get(i).id, name);
            names.push_back(name);
            EXPECT_GT(set->Get(i).time, last) << e.id;
            EXPECT_LE(set->Get(i).time, animation->GetDuration()) << e.id;
            last = set->Get(i).time;
        }
        EXPECT_EQ(names, std::vector<std::string>(e.events.begin(), e.events.end())) << e.id;
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
