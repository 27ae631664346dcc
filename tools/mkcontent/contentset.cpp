// The front-end content set and its writer: every byte comes from the tables below, in a
// fixed order, with no time stamp, so two runs give the same files.
#include "contentset.h"

#include "contentpictures.h"

#include "fontwriter.h"
#include "fmod3testhooks.h"
#include "groupwriter.h"
#include "herocontent.h"
#include "levelcontent.h"


#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace
{
// ---- Tables ------------------------------------------------------------------------------------

ContentResource Picture(const char* id, const char* path, uint8_t r, uint8_t g, uint8_t b)
{
    return {id, path, ContentKind::Picture, {r, g, b, 255}};
}

ContentResource Other(const char* id, const char* path, ContentKind kind, const char* body = nullptr)
{
    return {id, path, kind, {0, 0, 0, 0}, body};
}

/// Text made while building the tables, kept for the life of the program.
const char* Keep(const std::string& text)
{
    static std::vector<std::unique_ptr<std::string>> kept;
    kept.push_back(std::make_unique<std::string>(text));
    return kept.back()->c_str();
}

/// The hero's group: his skeleton and skinned model, every animation his weapons' kinds name,
/// his weapon scripts, and his model description (a data container naming skeleton and model).
ContentResource Data(const char* id, const char* path, std::string (*make)())
{
    ContentResource resource = Other(id, path, ContentKind::Data);
    resource.make = make;
    return resource;
}

std::string MissionFile()
{
    return kLevelMissionFile;
}

/// The first level's group (its world, level, graph and databases, and the mission file) and
/// its first sector's (the level script and the event boxes).
std::vector<ContentGroup> LevelGroups()
{
    return {{"W1L1",
             {Data("MISSION_OBJECTIVES_SCR", "w1l1\\mission.scr", MissionFile),
              Data("W1L1_WORLD_WW", "w1l1\\world.bsp", LevelWorldBytes),
              Data("W1L1_LEVEL_WL", "w1l1\\level.wl", LevelBytes),
              Data("W1L1_RIFLE_WO", "w1l1\\rifle.dff", LevelRifleModelBytes),
              Data("W1L1_NAV_AS", "w1l1\\navigation.as", LevelNavigationBytes),
              Data("W1L1_SCE", "w1l1\\scenario.sce", LevelScenarioBytes),
              Data("W1L1_MARKS_YDB", "w1l1\\marks.ydb", LevelMarkDatabaseBytes)}},
            {"W1L1S01",
             {Data("W1L1S01_BOXES_YB", "w1l1s01\\boxes.yb", LevelEventBoxBytes),
              Other("W1L1S01_PY", "w1l1s01.py", ContentKind::Script, kLevelScript)}}};
}

ContentGroup HeroGroup()
{
    ContentGroup group{"HERO",
                       {Other(kHeroSkeletonId, "hero\\hero.skl", ContentKind::Skeleton),
                        Other(kHeroModelId, "hero\\hero.mdl", ContentKind::Model),
                        Other(kSoldierModelId, "hero\\soldier.mdl", ContentKind::Model),
                        Other("HE_WEAPON_RIFLE_PY", "weapon_rifle.py", ContentKind::Script, kHeroRifleScript),
                        Other("HE_WEAPON_PISTOL_PY", "weapon_pistol.py", ContentKind::Script, kHeroPistolScript)}};
    // An animation with events has its script beside it (same name, ".scr"), run by its
    // loader when the animation-script container says so.
    group.before.push_back("DataContainerBegin ANIM_SCRIPTS");
    for (const std::string& id : HeroAnimationIds())
    {
        std::string file = id.substr(0, id.size() - 4);
        for (char& c : file)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        group.resources.push_back(Other(id.c_str(), Keep("hero\\anims\\" + file + ".anm"), ContentKind::Animation));
        const std::string events = HeroAnimationEvents(id);
        if (events.empty())
            continue;
        group.files.push_back({"hero\\anims\\" + file + ".scr", events});
        group.before.push_back("SetBoolean " + id + "_LOAD_SCR TRUE");
    }
    group.before.push_back("DataContainerEnd");
    // The same figure in two uniforms: a model and a texture each, a description each.
    for (const auto& [description, model, texture] :
         {std::tuple{kHeroModelDescription, kHeroModelId, kHeroTextureName},
          std::tuple{kSoldierModelDescription, kSoldierModelId, kSoldierTextureName}})
    {
        group.files.push_back({std::string("hero\\textures\\") + texture + ".png", HeroTextureBytes(texture)});
        for (const std::string line :
             {std::string("DataContainerBegin ") + description, std::string("SetString SKELETON ") + kHeroSkeletonId,
              std::string("SetString LOD ") + model, std::string("SetString SHADOW_TYPE DYNAMIC"),
              std::string("DataContainerEnd")})
            group.commands.push_back(line);
    }
    return group;
}

std::vector<ContentGroup> MakeGroups()
{
    std::vector<ContentGroup> groups;
    groups.push_back({"PERMANENT",
                      {Other("START_PY", "start.py", ContentKind::Script),
                       Other("ID_ARIAL_BLACK_FONT", "fonts\\arial_black.met", ContentKind::Font),
                       // The key hints' captions, the pages' captions and the map's entries.
                       Other("FE_STANDARD_FONT", "fonts\\standard.met", ContentKind::Font),
                       Picture("FE_CD_ICON_TEX", "textures\\fe_cd_icon.png", 240, 200, 40),
                       Picture("SHADOW_TEX", "textures\\shadow.png", 60, 60, 60),
                       Picture("FE_ESCAPE_KEY_TEX", "textures\\fe_escape_key.png", 200, 60, 60),
                       Picture("FE_RETURN_KEY_TEX", "textures\\fe_return_key.png", 60, 200, 60),
                       Other("SD_I_SELECT_S2DSB", "sounds\\sd_i_select.wav", ContentKind::Sound),
                       Other("SD_I_CONFIRM_S2DSB", "sounds\\sd_i_confirm.wav", ContentKind::Sound),
                       Other("SD_I_CANCEL_S2DSB", "sounds\\sd_i_cancel.wav", ContentKind::Sound),
                       Other("SD_I_MENU_ON_S2DSB", "sounds\\sd_i_menu_on.wav", ContentKind::Sound),
                       Other("SD_I_MENU_OFF_S2DSB", "sounds\\sd_i_menu_off.wav", ContentKind::Sound),
                       Other("SD_I_TEXTS_ON_S2DSB", "sounds\\sd_i_texts_on.wav", ContentKind::Sound),
                       Other("SD_I_TEXTS_OFF_S2DSB", "sounds\\sd_i_texts_off.wav", ContentKind::Sound),
                       Other("SD_I_MENU_PAUSE_ON_S2DSB", "sounds\\sd_i_menu_pause_on.wav", ContentKind::Sound),
                       Other("SD_I_MENU_PAUSE_OFF_S2DSB", "sounds\\sd_i_menu_pause_off.wav", ContentKind::Sound),
                       Other("Z_TITLE_STDSB", "sounds\\z_title.wav", ContentKind::Sound),
                       // What the map and the pause pages show over a stage, with no front-end group loaded.
                       Picture("FE_MAP_BACK_TEX", "textures\\fe_map_back.png", 90, 80, 55),
                       Picture("FE_HIT_TEX", "textures\\fe_hit.png", 235, 235, 235),
                       // The in-game display: the hero's portrait panel as he is well, hurt and dead,
                       // the alarm, the health gauge, the magazines and the cross-hair.
                       Picture("FE_FRONT_01_TEX", "textures\\fe_front_01.png", 96, 104, 64),
                       Picture("FE_FRONT_HURT_TEX", "textures\\fe_front_hurt.png", 150, 80, 56),
                       Picture("FE_FRONT_DEATH_TEX", "textures\\fe_front_death.png", 72, 72, 72),
                       Picture("FE_FRONT_02_TEX", "textures\\fe_front_02.png", 200, 56, 40),
                       Picture("FE_GREEN_TEX", "textures\\fe_green.png", 72, 168, 64),
                       Picture("FE_CHARGER_TEX", "textures\\fe_charger.png", 150, 128, 80),
                       Picture("FE_SIGHT_TEX", "textures\\fe_sight.png", 232, 232, 232),
                       Picture("FE_POINT_SIGHT_TEX", "textures\\fe_point_sight.png", 232, 64, 48),
                       Other("SD_I_PAUSE_S2DSB", "sounds\\sd_i_pause.wav", ContentKind::Sound),
                       // The credits may follow the closing video, whatever group it left loaded.
                       Other("Z_END_STDSB", "sounds\\z_end.wav", ContentKind::Sound),
                       // The framed menus and their options pages, which the pause menu and game over
                       // also open over a stage, with no front-end group loaded.
                       Picture("FE_MAIN_BORDER_TEX", "textures\\fe_main_border.png", 150, 120, 80),
                       Picture("FE_MAIN_BORDER_CORNER_TEX", "textures\\fe_main_border_corner.png", 160, 130, 90),
                       Picture("FE_MAIN_BORDER_SHADOW_TEX", "textures\\fe_main_border_shadow.png", 50, 40, 30),
                       Picture("FE_MAIN_CORNER_SHADOW_TEX", "textures\\fe_main_corner_shadow.png", 55, 45, 35),
                       Picture("FE_MAIN_ANGLE_SHADOW_TEX", "textures\\fe_main_angle_shadow.png", 60, 50, 40),
                       Picture("FE_MAIN_WHITE_BACKGROUND_TEX", "textures\\fe_main_white_background.png", 34, 40, 52),
                       Picture("FE_OPTION_JAUGE_TEX", "textures\\fe_option_jauge.png", 120, 160, 200),
                       Picture("FE_OPTION_JAUGE_ARROW_TEX", "textures\\fe_option_jauge_arrow.png", 200, 160, 120),
                       // The weapon wheel over a stage: its spokes, bullet and centre markers, a picture
                       // per weapon, and its sounds.
                       Picture("FE_WEAPON_LIGNE_TEX", "textures\\fe_weapon_ligne.png", 240, 240, 240),
                       Picture("FE_BULLET_TEX", "textures\\fe_bullet.png", 220, 180, 60),
                       Picture("FE_INDICATOR_TEX", "textures\\fe_indicator.png", 250, 250, 250),
                       Picture("WEAPON_KNIFE_TEX", "textures\\weapon_knife.png", 170, 170, 180),
                       Picture("WEAPON_MG42_TEX", "textures\\weapon_mg42.png", 90, 90, 100),
                       Picture("WEAPON_THOMPSON_TEX", "textures\\weapon_thompson.png", 130, 90, 60),
                       Picture("WEAPON_M1GARAND_TEX", "textures\\weapon_m1garand.png", 140, 110, 70),
                       Picture("WEAPON_COLT1911_TEX", "textures\\weapon_colt1911.png", 110, 110, 120),
                       Picture("WEAPON_MAUSER_TEX", "textures\\weapon_mauser.png", 120, 80, 50),
                       Picture("WEAPON_MP40_TEX", "textures\\weapon_mp40.png", 70, 70, 80),
                       Picture("WEAPON_PANZERSHRECK_TEX", "textures\\weapon_panzershreck.png", 80, 100, 60),
                       Other("SD_I_INVENTORY_ON_S2DSB", "sounds\\sd_i_inventory_on.wav", ContentKind::Sound),
                       Other("SD_I_INVENTORY_OFF_S2DSB", "sounds\\sd_i_inventory_off.wav", ContentKind::Sound)}});
    groups.push_back({"loading", {Picture("FE_LOADING_SCREEN_TEX", "textures\\fe_loading_screen.png", 30, 40, 90)}});
    // The first sector of a world shows that world's own loading picture instead.
    groups.push_back({"W1", {Picture("FE_LOADING_SCREEN_TEX", "textures\\w1_loading_screen.png", 60, 50, 30)}});
    groups.push_back({"LANGUAGE",
                      {Picture("FE_FLAG_UK_TEX", "textures\\fe_flag_uk.png", 30, 60, 160),
                       Picture("FE_FLAG_FR_TEX", "textures\\fe_flag_fr.png", 40, 90, 230),
                       Picture("FE_FLAG_DE_TEX", "textures\\fe_flag_de.png", 230, 190, 20),
                       Picture("FE_FLAG_SP_TEX", "textures\\fe_flag_sp.png", 220, 40, 30),
                       Picture("FE_FLAG_IT_TEX", "textures\\fe_flag_it.png", 30, 170, 70)}});
    for (const std::string& language : ContentLanguages())
    {
        ContentGroup group{nullptr, {}};
        group.name = language == "UK" ? "UK" : language == "FR" ? "FR" : language == "DE" ? "DE" : language == "SP" ? "SP" : "IT";
        for (const std::string& id : ContentTextIds())
            group.resources.push_back(Other(id.c_str(), nullptr, ContentKind::Text));
        groups.push_back(group);
    }
    groups.push_back({"INTRO",
                      {Picture("FE_LOGO_CORVANE_TEX", "textures\\fe_logo_corvane.png", 180, 30, 30),
                       Picture("FE_LOGO_CORVANE_TITLE1_TEX", "textures\\fe_logo_corvane_title1.png", 190, 60, 40),
                       Picture("FE_LOGO_CORVANE_TITLE2_TEX", "textures\\fe_logo_corvane_title2.png", 200, 90, 50),
                       Picture("FE_LOGO_ENGINE_TEX", "textures\\fe_logo_engine.png", 30, 180, 30),
                       Picture("FE_LOGO_ENGINE_TITLE1_TEX", "textures\\fe_logo_engine_title1.png", 60, 190, 40),
                       Picture("FE_LOGO_ENGINE_TITLE2_TEX", "textures\\fe_logo_engine_title2.png", 90, 200, 50),
                       Picture("FE_LOGO_FMOD_TEX", "textures\\fe_logo_fmod.png", 30, 30, 180),
                       Picture("FE_LOGO_ORV_TEX", "textures\\fe_logo_orv.png", 40, 60, 190),
                       Picture("FE_LOGO_ORV_TEXT_TEX", "textures\\fe_logo_orv_text.png", 50, 90, 200),
                       Picture("FE_LOGO_ORV_BLUE_TEX", "textures\\fe_logo_orv_blue.png", 20, 20, 220),
                       Picture("FE_LOGO_ORV_BLUE02_TEX", "textures\\fe_logo_orv_blue02.png", 40, 40, 230),
                       Picture("FE_LOGO_ORV_BLUE03_TEX", "textures\\fe_logo_orv_blue03.png", 60, 60, 240),
                       Picture("FE_LOGO_ORV_BLUE04_TEX", "textures\\fe_logo_orv_blue04.png", 80, 80, 250),
                       Picture("FE_LOGO_TALMERIC_TEX", "textures\\fe_logo_talmeric.png", 150, 40, 150),
                       Picture("FE_TITLE_TALMERIC_TEX", "textures\\fe_title_talmeric.png", 170, 70, 170),
                       Picture("FE_TITLE_TEX", "textures\\fe_title.png", 210, 170, 60)}});
    groups.push_back({"FRONTEND",
                      {Picture("FE_INTRO_TEX", "textures\\fe_intro.png", 70, 50, 40),
                       Picture("FE_INTRO_TITLE_TEX", "textures\\fe_intro_title.png", 230, 210, 150),
                       Picture("FE_MAIN_WHITE", "textures\\fe_main_white.png", 250, 250, 250),
                       // The campaign map's pictures: each mission's, the three kinds of path piece,
                       // the succeeded marker (an id without a type suffix) and the completion tick.
                       Picture("FE_MISSION1_PIC_TEX", "textures\\fe_mission1_pic.png", 200, 80, 60),
                       Picture("FE_MISSION2_PIC_TEX", "textures\\fe_mission2_pic.png", 60, 160, 90),
                       Picture("FE_MISSION3_PIC_TEX", "textures\\fe_mission3_pic.png", 70, 100, 200),
                       Picture("FE_MISSION4_PIC_TEX", "textures\\fe_mission4_pic.png", 190, 170, 50),
                       Picture("FE_MISSION5_PIC_TEX", "textures\\fe_mission5_pic.png", 150, 60, 170),
                       Picture("FE_MISSION6_PIC_TEX", "textures\\fe_mission6_pic.png", 50, 170, 170),
                       Picture("FE_MISSION7_PIC_TEX", "textures\\fe_mission7_pic.png", 120, 120, 120),
                       Picture("FE_LINE_PATH_PIC_TEX", "textures\\fe_line_path_pic.png", 220, 200, 90),
                       Picture("FE_ANGLE_PATH_PIC_TEX", "textures\\fe_angle_path_pic.png", 220, 150, 90),
                       Picture("FE_CROSS_PATH_PIC_TEX", "textures\\fe_cross_path_pic.png", 220, 110, 90),
                       Picture("FE_MISSION_SUCCEEDED", "textures\\fe_mission_succeeded.png", 240, 240, 200),
                       Picture("FE_MAP_BACK_ART", "textures\\fe_map_back_art.png", 60, 70, 95),
                       Picture("FE_COMPLETE_TEX", "textures\\fe_complete.png", 245, 245, 245),
                       Picture("FE_FAIL_TEX", "textures\\fe_fail.png", 210, 40, 40),
                       Other("VICTORY_MUSIC_STDSB", "sounds\\victory_music.wav", ContentKind::Sound),
                       Other("SD_I_OBJECTIVE_FINISHED_S2DSB", "sounds\\sd_i_objective_finished.wav",
                             ContentKind::Sound),
                       Other("SD_I_OBJECTIVE_NEW_S2DSB", "sounds\\sd_i_objective_new.wav", ContentKind::Sound)}});
    groups.push_back({"gameover",
                      {Picture("FE_GAMEOVER_TEX", "textures\\fe_gameover.png", 120, 20, 20),
                       Picture("FE_GAMEOVER_VOZUV_TEX", "textures\\fe_gameover_vozuv.png", 40, 60, 120)}});
    // The first sector's pages: opening, closing, over the game, and the mission's artworks.
    auto slide = [](const char* command, const char* texture, const char* caption)
    { return std::string(command) + " " + texture + " INVALID_RESOURCE_ID " + caption + " 0.125 0.1 0.75 0.55 0"; };
    groups.push_back({"W1L1S01label",
                      {Picture("LB_W1L1S01_1_TEX", "textures\\lb_w1l1s01_1.png", 150, 130, 90),
                       Picture("LB_W1L1S01_2_TEX", "textures\\lb_w1l1s01_2.png", 130, 150, 90)},
                      {slide("CreateLabel", "LB_W1L1S01_1_TEX", "TX_W1L1S01_LABEL_1_TXT"),
                       slide("CreateLabel", "LB_W1L1S01_2_TEX", "TX_W1L1S01_LABEL_2_TXT")}});
    groups.push_back({"W1L1S01labelend",
                      {Picture("LB_W1L1S01_END_TEX", "textures\\lb_w1l1s01_end.png", 110, 100, 140)},
                      {slide("CreateLabel", "LB_W1L1S01_END_TEX", "TX_W1L1S01_LABELEND_TXT")}});
    groups.push_back({"W1L1S01labelmiddle",
                      {Picture("LB_W1L1S01_MIDDLE_TEX", "textures\\lb_w1l1s01_middle.png", 140, 110, 80)},
                      {slide("CreateLabel", "LB_W1L1S01_MIDDLE_TEX", "TX_W1L1S01_LABELMIDDLE_TXT")}});
    groups.push_back({"W1L1S01artwork",
                      {Picture("AW_W1L1S01_1_TEX", "textures\\aw_w1l1s01_1.png", 170, 150, 120),
                       Picture("AW_W1L1S01_2_TEX", "textures\\aw_w1l1s01_2.png", 120, 150, 170)},
                      {slide("CreateArtwork", "AW_W1L1S01_1_TEX", "TX_W1L1S01_ARTWORK_1_TXT"),
                       slide("CreateArtwork", "AW_W1L1S01_2_TEX", "TX_W1L1S01_ARTWORK_2_TXT")}});
    groups.push_back(HeroGroup());
    for (ContentGroup& group : LevelGroups())
        groups.push_back(std::move(group));
    return groups;
}

// ---- The glyphs ------------------------------------------------------------------------------------

// The text font: the pictures' 5 x 7 block capitals, each texel drawn 2 x 2, a blank column
// either side; lower case reads as upper case and a character without a glyph is blank. The
// letters fill two thirds of the box's height, so a text is about as wide as it is tall per letter.
constexpr int32_t kGlyphScale = 2;
constexpr int32_t kGlyphInk = 5 * kGlyphScale + 2;
constexpr int32_t kGlyphPitch = 24;
constexpr int32_t kGlyphTop = 4; // blank rows above the ink

FontWriterSection FontSection(const std::string& texture)
{
    FontWriterSection section;
    section.texture = texture;
    // Measured up from the bottom of the 21-texel glyph box: the ink's fourteen rows end three and
    // a half texels above it.
    section.baseline = 3;
    section.pitch = kGlyphPitch;
    section.width = 256;
    for (uint32_t code = 32; code < 127; ++code)
        section.cells.push_back({code, kGlyphInk});
    return section;
}

/// Clears to paper every texel of the laid-out ink boxes that the glyph leaves blank.
void DrawGlyphs(const FontWriterSection& section, FontWriterSheet* sheet)
{
    int32_t x0 = 0, y = 0;
    for (const FontWriterCell& cell : section.cells)
    {
        if (x0 + cell.inkWidth + 2 + 1 >= section.width)
            x0 = 0, y += section.pitch;
        for (int32_t row = 0; row < section.pitch - 2; ++row)
            for (int32_t column = 0; column < cell.inkWidth; ++column)
            {
                // One blank column either side of the ink: the glyph's quad shows half of each, so
                // a left-justified text does not touch the edge of its box.
                const bool ink = column >= 1 && row >= kGlyphTop &&
                                 ContentGlyphInk(char(cell.code), (column - 1) / kGlyphScale,
                                                 (row - kGlyphTop) / kGlyphScale);
                if (!ink)
                {
                    const size_t at = (size_t(y + 2 + row) * size_t(sheet->width) + size_t(x0 + 2 + column)) * 4;
                    for (int i = 0; i < 4; ++i)
                        sheet->rgba[at + size_t(i)] = section.paper[i];
                }
            }
        x0 += cell.inkWidth + 2;
    }
}

// ---- Bytes ------------------------------------------------------------------------------------

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string PictureBytes(const ContentResource& resource, const fs::path& scratch)
{
    FontWriterSheet sheet;
    sheet.rgba = ContentPicturePixels(resource, &sheet.width, &sheet.height);
    return FontWriter::WritePng(scratch.string(), sheet) ? ReadBytes(scratch) : std::string();
}

/// A 16-bit mono WAV tone at 22050 Hz, written by the sound layer's own libsndfile writer.
std::string ToneBytes(double hertz, double seconds, const fs::path& scratch)
{
    return fmod3test::WriteTone(scratch.string(), fmod3test::ToneFormat::Wav16, 22050, 1, seconds, hertz)
               ? ReadBytes(scratch)
               : std::string();
}

const char kStartScript[] = "# The first script of the game, imported whole into __main__ at start-up.\n"
                            "FRONT_END_READY = 1\n";

const char kVariables[] = "SetHbString PYTHON_ROOT_PATH scripts\r\n"
                          "SetHbBool MODE_PAL TRUE\r\n";

const char kCommands[] = "CreateControler 0 Keyboard\r\n"
                         "SetCommandContext Default\r\n"
                         "bind Keyboard START VK_RETURN CLICK\r\n"
                         "bind Keyboard ESC VK_ESCAPE CLICK\r\n"
                         "bind Keyboard MAP_BACK VK_TAB CLICK\r\n"
                         // The weapon wheel stays open while its key is held.
                         "bind Keyboard INVENTORY_OPEN VK_I DOWN\r\n"
                         "bind Keyboard CMD_QUIT_CREDITS VK_SPACE CLICK\r\n"
                         "bind Keyboard CMD_CONTEXTUAL_ACTION VK_E CLICK\r\n"
                         // The hero: WASD to move, the mouse to aim and fire, R reload, space roll,
                         // C crouch, Q the next weapon and 1-8 a weapon by its key; Tab the map.
                         "CreateControler 1 Mouse\r\n"
                         "bind Keyboard WIN_UP_ARROW VK_W DOWN\r\n"
                         "bind Keyboard WIN_DOWN_ARROW VK_S DOWN\r\n"
                         "bind Keyboard WIN_LEFT_ARROW VK_A DOWN\r\n"
                         "bind Keyboard WIN_RIGHT_ARROW VK_D DOWN\r\n"
                         "bind Keyboard RELOAD VK_R CLICK\r\n"
                         "bind Keyboard ROLL VK_SPACE CLICK\r\n"
                         "bind Keyboard CROUCH VK_C CLICK\r\n"
                         "bind Keyboard CHANGE_WEAPON VK_Q CLICK\r\n"
                         "bind Keyboard WEAPON_1 VK_1 CLICK\r\n"
                         "bind Keyboard WEAPON_2 VK_2 CLICK\r\n"
                         "bind Keyboard WEAPON_3 VK_3 CLICK\r\n"
                         "bind Keyboard WEAPON_4 VK_4 CLICK\r\n"
                         "bind Keyboard WEAPON_5 VK_5 CLICK\r\n"
                         "bind Keyboard WEAPON_6 VK_6 CLICK\r\n"
                         "bind Keyboard WEAPON_7 VK_7 CLICK\r\n"
                         "bind Keyboard WEAPON_8 VK_8 CLICK\r\n"
                         "bind Mouse SHOOT_CLICK VK_LBUTTON CLICK\r\n"
                         "bind Mouse SHOOT_DOWN VK_LBUTTON DOWN\r\n"
                         "bind Mouse LOCK VK_RBUTTON DOWN\r\n"
                         "SetCommandContext Menu\r\n"
                         "bind Keyboard MENU_CHOOSE VK_RETURN CLICK\r\n"
                         // Escape steps back out of a menu (the key the key hints show); at the
                         // pause menu's root that resumes the game. An action has one key, so the
                         // menus' own escape (which resumes from any page) moves to Pause.
                         "bind Keyboard MENU_ESC VK_PAUSE CLICK\r\n"
                         "bind Keyboard MENU_UP VK_ESCAPE CLICK\r\n"
                         "bind Keyboard MENU_NEXT VK_DOWN CLICK\r\n"
                         "bind Keyboard MENU_PREVIOUS VK_UP CLICK\r\n"
                         "bind Keyboard MENU_NEXT_VALUE VK_RIGHT CLICK\r\n"
                         "bind Keyboard MENU_PREVIOUS_VALUE VK_LEFT CLICK\r\n"
                         "SetCommandContext Label\r\n"
                         "bind Keyboard LABEL_NEXT VK_RETURN CLICK\r\n"
                         "bind Keyboard LABEL_ESC VK_ESCAPE CLICK\r\n"
                         "SetCommandContext Map\r\n"
                         "bind Keyboard MAP_BACK VK_TAB CLICK\r\n"
                         "bind Keyboard MAP_ESC VK_ESCAPE CLICK\r\n"
                         "bind Keyboard MAP_ZOOM_IN VK_ADD CLICK\r\n"
                         "bind Keyboard MAP_ZOOM_OUT VK_SUBTRACT CLICK\r\n"
                         "bind Keyboard MAP_OBJECTIVES_SCROLL_UP VK_UP DOWN\r\n"
                         "bind Keyboard MAP_OBJECTIVES_SCROLL_DOWN VK_DOWN DOWN\r\n"
                         "SetCommandContext Cinematic\r\n"
                         "bind Keyboard SKIP_CINEMATIC VK_ESCAPE CLICK\r\n"
                         // A pad, when one is plugged in (without one its lines bind nothing): the
                         // left stick moves, R1 fires, L1 aims, the face buttons reload, roll,
                         // crouch and act, select opens the map and start the pause menu.
                         "CreateControler 2 Paddle1\r\n"
                         "SetCommandContext Default\r\n"
                         "bind Paddle1 START SCE_PADstart CLICK\r\n"
                         "bind Paddle1 ESC SCE_PADstart CLICK\r\n"
                         "bind Paddle1 MAP_BACK SCE_PADselect CLICK\r\n"
                         "bind Paddle1 INVENTORY_OPEN SCE_PADL2 DOWN\r\n"
                         "bind Paddle1 CMD_CONTEXTUAL_ACTION SCE_PADRup CLICK\r\n"
                         "bind Paddle1 RELOAD SCE_PADRleft CLICK\r\n"
                         "bind Paddle1 ROLL SCE_PADRdown CLICK\r\n"
                         "bind Paddle1 CROUCH SCE_PADRright CLICK\r\n"
                         "bind Paddle1 CHANGE_WEAPON SCE_PADR2 CLICK\r\n"
                         "bind Paddle1 SHOOT_CLICK SCE_PADR1 CLICK\r\n"
                         "bind Paddle1 SHOOT_DOWN SCE_PADR1 DOWN\r\n"
                         "bind Paddle1 LOCK SCE_PADL1 DOWN\r\n"
                         "SetCommandContext Menu\r\n"
                         "bind Paddle1 MENU_CHOOSE SCE_PADRdown CLICK\r\n"
                         "bind Paddle1 MENU_ESC SCE_PADstart CLICK\r\n"
                         "bind Paddle1 MENU_UP SCE_PADRright CLICK\r\n"
                         "bind Paddle1 MENU_NEXT SCE_PADLdown CLICK\r\n"
                         "bind Paddle1 MENU_PREVIOUS SCE_PADLup CLICK\r\n"
                         "bind Paddle1 MENU_NEXT_VALUE SCE_PADLright CLICK\r\n"
                         "bind Paddle1 MENU_PREVIOUS_VALUE SCE_PADLleft CLICK\r\n"
                         "SetCommandContext Label\r\n"
                         "bind Paddle1 LABEL_NEXT SCE_PADRdown CLICK\r\n"
                         "bind Paddle1 LABEL_ESC SCE_PADstart CLICK\r\n"
                         "SetCommandContext Map\r\n"
                         "bind Paddle1 MAP_BACK SCE_PADselect CLICK\r\n"
                         "bind Paddle1 MAP_ESC SCE_PADstart CLICK\r\n"
                         "SetCommandContext Cinematic\r\n"
                         "bind Paddle1 SKIP_CINEMATIC SCE_PADstart CLICK\r\n"
                         "SetCommandContext Default\r\n";

// The headless run of ./run.sh: the first flag (a click is seen once its key was up in a frame,
// so not on the first frame), the intro's title screen, the main menu saved as
// ../frames/run-main-menu.png (build/frames beside build/content) once its labels have settled,
// then Quit and Yes. A frame is a quarter of a second: the logos reach the title in 90 frames.
const char kDriveMainMenu[] = "# Headless run: language choice, intro title, main menu, then Quit and Yes.\n"
                              "step 2500000\n"
                              "bound 400\n"
                              "frames ../frames\n"
                              "at 2 key VK_RETURN\n"
                              "on 7 +100 key VK_RETURN\n"
                              "on 1 +40 save run-main-menu\n"
                              "on 1 +41 key VK_DOWN\n"
                              "on 1 +45 key VK_DOWN\n"
                              "on 1 +49 key VK_DOWN\n"
                              "on 1 +53 key VK_RETURN\n"
                              "on 1 +61 key VK_DOWN\n"
                              "on 1 +65 key VK_RETURN\n";

const char kGrounds[] = "GroundCreateTypeBegin DEFAULT 0\r\n"
                        "GroundCreateTypeEnd\r\n";

/// The files of one group's pack, in the table's order (the font's sheet after its metrics).
std::string GroupFiles(const ContentGroup& group, size_t groupIndex, const fs::path& scratch,
                       std::vector<GroupWriter::File>* files, std::vector<GroupWriter::Resource>* resources)
{
    size_t language = 0;
    for (; language < ContentLanguages().size(); ++language)
        if (ContentLanguages()[language] == group.name)
            break;
    for (size_t i = 0; i < group.resources.size(); ++i)
    {
        const ContentResource& resource = group.resources[i];
        std::string path = resource.path ? resource.path : "";
        std::string bytes;
        switch (resource.kind)
        {
        case ContentKind::Picture:
            bytes = PictureBytes(resource, scratch);
            break;
        case ContentKind::Text:
        {
            std::string name = std::string(resource.id).substr(3);
            for (char& c : name)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            path = "texts\\" + name.substr(0, name.size() - 4) + ".txt";
            bytes = ContentText(resource.id, language) + "\r\n";
            break;
        }
        case ContentKind::Sound:
            // Pitches a semitone apart within two octaves; the music plays longer.
            bytes = ToneBytes(330.0 * std::pow(2.0, double((groupIndex * 32 + i) % 24) / 12.0),
                              std::string(resource.id).find("STDSB") != std::string::npos ? 2.0 : 0.15, scratch);
            break;
        case ContentKind::Script:
            // The module's name comes from the declared path; the file lies under the
            // script root, which the interpreter searches.
            files->push_back({"scripts\\" + path, resource.body ? resource.body : kStartScript});
            resources->push_back({resource.id, path});
            continue;
        case ContentKind::Data:
            bytes = resource.make ? resource.make() : std::string();
            break;
        case ContentKind::Skeleton:
            bytes = HeroSkeletonBytes();
            break;
        case ContentKind::Model:
            bytes = HeroModelBytes(resource.id);
            break;
        case ContentKind::Animation:
            bytes = HeroAnimationBytes(resource.id);
            break;
        case ContentKind::Font:
        {
            std::vector<FontWriterSheet> sheets;
            // Each font has its own sheet, named after its metrics file.
            const std::string file = path.substr(path.rfind('\\') + 1);
            const FontWriterSection section = FontSection(file.substr(0, file.rfind('.')) + "_glyphs");
            bytes = FontWriter::Metrics2({section}, &sheets);
            if (bytes.empty() || sheets.size() != 1)
                return "font " + std::string(resource.id);
            DrawGlyphs(section, &sheets[0]);
            if (!FontWriter::WritePng(scratch.string(), sheets[0]))
                return "font sheet " + std::string(resource.id);
            const std::string folder = path.substr(0, path.rfind('\\') + 1);
            files->push_back({path, bytes});
            files->push_back({folder + section.texture + ".png", ReadBytes(scratch)});
            resources->push_back({resource.id, path});
            continue;
        }
        }
        if (bytes.empty())
            return "resource " + std::string(resource.id);
        files->push_back({path, bytes});
        resources->push_back({resource.id, path});
    }
    return std::string();
}
} // namespace

std::vector<uint8_t> ContentPicturePixels(const ContentResource& resource, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    if (resource.kind != ContentKind::Picture)
        return {};
    ContentCanvas canvas;
    if (auto paint = ContentPainter(resource.id))
        paint(canvas);
    else
    {
        const uint32_t fill = uint32_t(resource.rgba[0]) << 16 | uint32_t(resource.rgba[1]) << 8 | resource.rgba[2];
        const uint32_t edge = uint32_t(resource.rgba[0] / 2) << 16 | uint32_t(resource.rgba[1] / 2) << 8 |
                              uint32_t(resource.rgba[2] / 2);
        canvas.Resize(kContentPictureSide, kContentPictureSide, edge);
        canvas.Fill(kContentPictureBorder, kContentPictureBorder, kContentPictureSide - 2 * kContentPictureBorder,
                    kContentPictureSide - 2 * kContentPictureBorder, fill);
    }
    *width = canvas.width;
    *height = canvas.height;
    return canvas.rgba;
}

const std::vector<std::string>& ContentLanguages()
{
    static const std::vector<std::string> languages = {"UK", "FR", "DE", "SP", "IT"};
    return languages;
}

const std::vector<ContentGroup>& ContentGroups()
{
    static const std::vector<ContentGroup> groups = MakeGroups();
    return groups;
}

std::string ContentWrite(const std::string& folder)
{
    const fs::path target = folder.empty() ? fs::path("build/content") : fs::path(folder);
    fs::path temporary = target;
    temporary += ".tmp";
    std::error_code error;
    fs::remove_all(temporary, error);
    if (!fs::create_directories(temporary, error))
        return "cannot create " + temporary.string();
    const fs::path scratch = temporary / "scratch.bin";

    auto text = [&](const char* name, const std::string& bytes) {
        return GroupWriter::WriteText((temporary / name).string(), bytes) == 1;
    };
    if (!text("variable.scr", kVariables) || !text("commands.scr", kCommands) || !text("grounds.scr", kGrounds))
        return "cannot write the command scripts";
    if (!fs::create_directories(temporary / "drive", error) || !text("drive/main-menu.txt", kDriveMainMenu) ||
        !text("drive/mission.txt", kLevelDrive))
        return "cannot write the drive file";

    const std::vector<ContentGroup>& groups = ContentGroups();
    for (size_t g = 0; g < groups.size(); ++g)
    {
        std::vector<GroupWriter::File> files;
        std::vector<GroupWriter::Resource> resources;
        const std::string failed = GroupFiles(groups[g], g, scratch, &files, &resources);
        if (!failed.empty())
            return "cannot make " + failed;
        for (const auto& [path, bytes] : groups[g].files)
            files.push_back({path, bytes});
        const std::string name = groups[g].name;
        std::string script;
        for (const std::string& line : groups[g].before)
            script += line + "\r\n";
        script += GroupWriter::Script(resources);
        for (const std::string& line : groups[g].commands)
            script += line + "\r\n";
        if (!text((name + ".scr").c_str(), script) ||
            GroupWriter::WritePack((temporary / (name + ".PAK")).string(), files) != 1)
            return "cannot write the group " + name;
    }
    fs::remove(scratch, error);

    // The new set is whole: each of its files now replaces its namesake in the folder, one
    // rename each. Nothing else in the folder is touched: whatever else is there is not ours.
    fs::create_directories(target, error);
    if (error)
        return "cannot create " + target.string();
    std::vector<fs::path> made;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temporary, error))
        if (entry.is_regular_file())
            made.push_back(fs::relative(entry.path(), temporary));
    if (error)
        return "cannot read " + temporary.string();
    for (const fs::path& file : made)
    {
        fs::create_directories((target / file).parent_path(), error);
        fs::rename(temporary / file, target / file, error);
        if (error)
            return "cannot move " + file.string() + " into " + target.string();
    }
    fs::remove_all(temporary, error);
    return std::string();
}
