// Framed menus: measuring and centring a tree, the tiled frame its menus share, the opening and closing
// wipes that hand input from one menu to the next, and the rows drawn inside the frame.
#include "w2dgraphicmenu.h"

#include "hbclock.h"
#include "tssoundmodule.h"
#include "w2dgraphiccontainer.h"
#include "w2dgraphicslidermenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cmath>
#include <vector>

HB_DEFINE_CLASS_DESC(W2dGraphicMenu, HbRoot);

namespace
{
constexpr float kTile = 0.03125f;
constexpr float kRowHeight = 0.0625f;
constexpr float kFirstRowHeight = 0.078125f;
constexpr int32_t kBorderPriority = 100;
constexpr int32_t kShadowPriority = 90;
constexpr int32_t kBackgroundPriority = 85;
constexpr Rgba kLabelGrey = {200, 200, 200, 0};

const char* const kOpenSound = "SD_I_MENU_ON_S2DSB";
const char* const kCloseSound = "SD_I_MENU_OFF_S2DSB";
const char* const kBackgroundTexture = "FE_MAIN_WHITE_BACKGROUND_TEX";
const char* const kBorderTexture = "FE_MAIN_BORDER_TEX";
const char* const kCornerTexture = "FE_MAIN_BORDER_CORNER_TEX";
const char* const kBorderShadowTexture = "FE_MAIN_BORDER_SHADOW_TEX";
const char* const kCornerShadowTexture = "FE_MAIN_CORNER_SHADOW_TEX";
const char* const kAngleShadowTexture = "FE_MAIN_ANGLE_SHADOW_TEX";

// Measured over the tree being framed; 0 after a framed menu is cleared.
float sCommonWidth = 0.0f;
int32_t sRowHighWater = 0;

int64_t RealNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

/// Rounded up to the tile grid (a width already on it stays).
float OnGrid(float width)
{
    return std::ceil(width / kTile - 1e-4f) * kTile;
}

W2dGraphicMenu* AsFramed(W2dMenu* menu)
{
    return menu && HbClassDesc::IsKindOf(menu, &W2dGraphicMenu::sClassDesc) ? static_cast<W2dGraphicMenu*>(menu)
                                                                             : nullptr;
}

/// Corner i takes what corner (i + shift) mod 4 had; flipV replaces each v by 1 - v.
void TurnUVs(W2dPictureItem* tile, int32_t shift, bool flipV)
{
    Vector2 old[4];
    tile->GetCornerUVs(&old[0], &old[1], &old[2], &old[3]);
    Vector2 c[4];
    for (int32_t i = 0; i < 4; ++i)
    {
        c[i] = old[(i + shift) % 4];
        if (flipV)
            c[i].y = 1.0f - c[i].y;
    }
    tile->SetCornerUVs(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
}

void Place(W2dGenericItem* item, float x, float y, uint8_t alpha)
{
    if (!item)
        return;
    item->SetPosition({x, y, 0.0f});
    item->SetColour({255, 255, 255, alpha});
    item->Show();
}
} // namespace

/// The frame items of one framed tree: five containers holding the tiles, with the tiles also listed by
/// role. Every menu of the tree holds the frame; the last one to let go releases it.
struct W2dGraphicMenu::Frame : HbAllocated
{
    W2dGraphicContainer* parts[kFramePartCount] = {};
    std::vector<W2dPictureItem*> top;           // first corner, border tiles, closing corner
    std::vector<W2dPictureItem*> bottom;        // the same columns
    std::vector<W2dPictureItem*> bottomShadows; // by column, none under the first
    std::vector<W2dPictureItem*> left;          // by tile row
    std::vector<W2dPictureItem*> right;
    std::vector<W2dPictureItem*> rightShadows;
    std::vector<W2dPictureItem*> background; // by menu row
    float commonWidth = 0.0f;
    float rowWidth = 0.0f; // the width of the menu drawn last: its rows end under its right edge
    int32_t holders = 0;
    bool failed = false;

    W2dPictureItem* Tile(int32_t part, const char* texture, int32_t priority, float width, float height)
    {
        auto* tile = new W2dPictureItem(texture, -1.0f, nullptr);
        tile->AddRef();
        tile->SetPriority(priority);
        if (!tile->Create())
            failed = true;
        tile->SetSize({width, height, 0.0f});
        tile->Hide();
        parts[part]->AddChild(tile);
        tile->HbRoot::Release();
        return tile;
    }

    void Release()
    {
        for (W2dGraphicContainer*& part : parts)
            if (part)
            {
                part->Clear();
                part->Release();
                part->HbRoot::Release();
                part = nullptr;
            }
    }
};

W2dGraphicMenu::W2dGraphicMenu(W2dMenu* parent) : W2dMenu(parent) {}

W2dGraphicMenu::~W2dGraphicMenu()
{
    W2dGraphicMenu::Clear();
}

void W2dGraphicMenu::HoldFrame(Frame* frame)
{
    if (mFrame == frame)
        return;
    DropFrame();
    mFrame = frame;
    ++frame->holders;
}

void W2dGraphicMenu::DropFrame()
{
    Frame* frame = mFrame;
    if (!frame)
        return;
    mFrame = nullptr;
    if (--frame->holders > 0)
        return;
    frame->Release();
    delete frame;
}

void W2dGraphicMenu::Clear()
{
    W2dMenu::Clear();
    DropFrame();
    sCommonWidth = 0.0f;
}

W2dGraphicContainer* W2dGraphicMenu::GetFramePart(int32_t part) const
{
    return mFrame && part >= 0 && part < kFramePartCount ? mFrame->parts[part] : nullptr;
}

float W2dGraphicMenu::GetCommonWidth() const
{
    return mFrame ? mFrame->commonWidth : 0.0f;
}

int32_t W2dGraphicMenu::GetRowHighWater()
{
    return sRowHighWater;
}

// ---- Building ---------------------------------------------------------------------------------------------

int32_t W2dGraphicMenu::Rows() const
{
    return GetEntryCount() + (HasTitle() ? 2 : 0);
}

void W2dGraphicMenu::MeasureWidth()
{
    if (Rows() > sRowHighWater)
        sRowHighWater = Rows();
    auto raise = [this](float width)
    {
        if (width > sCommonWidth)
            sCommonWidth = width;
        float own = OnGrid(width);
        if (own > mWidth)
            mWidth = own;
    };
    for (int32_t i = 0; i < GetEntryCount(); ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
            raise(entry->GetLabelWidth());
    if (auto* title = static_cast<W2dTextGraphicItem*>(
            GetTitle() && HbClassDesc::IsKindOf(GetTitle(), &W2dTextGraphicItem::sClassDesc) ? GetTitle() : nullptr))
        raise(title->GetTextWidth());
    for (int32_t i = 0; i < GetEntryCount(); ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
            entry->MeasureWidth();
    sCommonWidth = OnGrid(sCommonWidth);
}

void W2dGraphicMenu::ApplyWidth()
{
    if (GetTitle())
        GetTitle()->SetSize({sCommonWidth, kRowHeight, 0.0f});
    for (int32_t i = 0; i < GetEntryCount(); ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
        {
            entry->SetLabelSize({sCommonWidth, kRowHeight, 0.0f});
            entry->ApplyWidth();
        }
}

void W2dGraphicMenu::Centre(int32_t kind)
{
    Vector at = GetPosition();
    float x = (1.0f - mWidth) / 2.0f;
    float rows = float(GetEntryCount()) * kRowHeight + (HasTitle() ? kRowHeight : 0.0f);
    float y = (1.0f - rows) / 2.0f;
    if (kind == 0 || kind == 2)
        at.x = x;
    if (kind == 1 || kind == 2)
        at.y = y;
    // The base reaches every entry: the entries set their own afterwards.
    SetPosition(at);
    for (int32_t i = 0; i < GetEntryCount(); ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
            entry->Centre(kind);
}

int32_t W2dGraphicMenu::BuildFrame(int32_t kind)
{
    sCommonWidth = 0.0f;
    MeasureWidth();
    ApplyWidth();

    auto* frame = new Frame;
    frame->commonWidth = sCommonWidth;
    for (W2dGraphicContainer*& part : frame->parts)
    {
        part = new W2dGraphicContainer("");
        part->AddRef();
    }
    const int32_t columns = int32_t(std::lround(sCommonWidth / kTile)) + 2;
    const int32_t tileRows = 2 * sRowHighWater;
    for (int32_t i = 0; i < columns; ++i)
    {
        bool corner = i == 0 || i == columns - 1;
        W2dPictureItem* top =
            frame->Tile(kTopEdge, corner ? kCornerTexture : kBorderTexture, kBorderPriority, kTile, kTile);
        if (i > 0)
            TurnUVs(top, 1, false);
        frame->top.push_back(top);
        W2dPictureItem* bottom =
            frame->Tile(kBottomEdge, corner ? kCornerTexture : kBorderTexture, kBorderPriority, kTile, kTile);
        TurnUVs(bottom, i == columns - 1 ? 2 : 3, false);
        frame->bottom.push_back(bottom);
        W2dPictureItem* shadow = nullptr;
        if (i == 1)
        {
            shadow = frame->Tile(kBottomEdge, kAngleShadowTexture, kShadowPriority, kTile, kTile);
            TurnUVs(shadow, 1, true);
        }
        else if (i > 1)
            shadow = frame->Tile(kBottomEdge, i == columns - 1 ? kCornerShadowTexture : kBorderShadowTexture,
                                 kShadowPriority, kTile, kTile);
        frame->bottomShadows.push_back(shadow);
    }
    for (int32_t j = 0; j < tileRows; ++j)
    {
        frame->left.push_back(frame->Tile(kLeftEdge, kBorderTexture, kBorderPriority, kTile, kTile));
        W2dPictureItem* right = frame->Tile(kRightEdge, kBorderTexture, kBorderPriority, kTile, kTile);
        TurnUVs(right, 2, false);
        frame->right.push_back(right);
        W2dPictureItem* shadow =
            frame->Tile(kRightEdge, j == 0 ? kAngleShadowTexture : kBorderShadowTexture, kShadowPriority, kTile, kTile);
        if (j > 0)
            TurnUVs(shadow, 3, false);
        frame->rightShadows.push_back(shadow);
    }
    for (int32_t r = 0; r < sRowHighWater; ++r)
        frame->background.push_back(
            frame->Tile(kBackground, kBackgroundTexture, kBackgroundPriority, sCommonWidth + 2.0f * kTile, kRowHeight));
    if (frame->failed)
    {
        frame->Release();
        delete frame;
        return 0;
    }

    // Every framed menu of the tree holds the frame; a frame of another tree stays with its holders.
    struct Walk
    {
        static void Hold(W2dGraphicMenu* menu, Frame* frame)
        {
            menu->HoldFrame(frame);
            for (int32_t i = 0; i < menu->GetEntryCount(); ++i)
                if (W2dGraphicMenu* entry = AsFramed(menu->GetEntry(i)))
                    Hold(entry, frame);
        }
    };
    ++frame->holders; // kept while the tree is walked
    Walk::Hold(this, frame);
    --frame->holders;

    Centre(kind);
    float left = 0.0f;
    DrawFrame(ColumnsOf(&left), 2 * Rows(), 255);
    HideFrame();
    SetState(kOpening);
    return 1;
}

// ---- Drawing ----------------------------------------------------------------------------------------------

int32_t W2dGraphicMenu::ColumnsOf(float* left) const
{
    int32_t n = int32_t(std::lround(mWidth / kTile));
    *left = GetPosition().x;
    // The borders stand beside the rows, not over them: a label's text may fill its row's width,
    // so a right edge over the last column would cut the widest label of every menu.
    if (mFrame && n + 2 <= int32_t(mFrame->top.size()))
    {
        n += 2;
        *left -= kTile;
    }
    else if (mFrame && n + 1 < int32_t(mFrame->top.size()))
    {
        ++n;
        *left -= kTile;
    }
    return n;
}

void W2dGraphicMenu::HideFrame()
{
    if (!mFrame)
        return;
    for (W2dGraphicContainer* part : mFrame->parts)
        part->Hide();
}

void W2dGraphicMenu::DrawFrame(int32_t columns, int32_t tileRows, uint8_t alpha)
{
    HideFrame();
    if (!mFrame)
        return;
    mFrame->rowWidth = mWidth;
    if (columns <= 0)
        return;
    Frame& f = *mFrame;
    float left = 0.0f;
    const int32_t full = ColumnsOf(&left);
    (void)full;
    const float top = GetPosition().y;
    if (columns > int32_t(f.top.size()))
        columns = int32_t(f.top.size());
    if (tileRows > int32_t(f.left.size()))
        tileRows = int32_t(f.left.size());
    const float bottomY = top + float(tileRows) * kTile;
    const int32_t last = int32_t(f.top.size()) - 1;
    for (int32_t i = 0; i < columns; ++i)
    {
        // The last column shown takes the closing corner.
        int32_t tile = i == columns - 1 && i > 0 ? last : i;
        float x = left + float(i) * kTile;
        Place(f.top[size_t(tile)], x, top - kTile, alpha);
        Place(f.bottom[size_t(tile)], x, bottomY, alpha);
        Place(f.bottomShadows[size_t(tile)], x, bottomY, alpha);
    }
    const float rightX = left + float(columns - 1) * kTile;
    for (int32_t j = 0; j < tileRows; ++j)
    {
        float y = top + float(j) * kTile;
        Place(f.left[size_t(j)], left, y, alpha);
        if (columns > 1)
        {
            Place(f.right[size_t(j)], rightX, y, alpha);
            Place(f.rightShadows[size_t(j)], rightX, y, alpha);
        }
    }
}

void W2dGraphicMenu::PlaceBackground(int32_t row)
{
    if (!mFrame || row < 0 || row >= int32_t(mFrame->background.size()))
        return;
    float left = 0.0f;
    ColumnsOf(&left);
    // Inside the borders; the first row also reaches under half the top edge.
    float y = GetPosition().y + float(row) * kRowHeight;
    mFrame->background[size_t(row)]->SetPosition({left + kTile, row == 0 ? y - kTile / 2.0f : y, 0.0f});
}

void W2dGraphicMenu::RevealRow(int32_t row, int32_t columns)
{
    if (!mFrame || row < 0 || row >= int32_t(mFrame->background.size()))
        return;
    // The rows reach under the right edge and no further: a menu narrower than the tree's
    // widest one has its right edge inside the common width.
    float width = float(columns) * kTile;
    if (width > mFrame->commonWidth)
        width = mFrame->commonWidth;
    if (width > mFrame->rowWidth)
        width = mFrame->rowWidth;
    W2dPictureItem* piece = mFrame->background[size_t(row)];
    piece->SetSize({width, row == 0 ? kFirstRowHeight : kRowHeight, 0.0f});
    piece->Show();
}

void W2dGraphicMenu::DrawRows(W2dItemCallback others, W2dItemCallback current)
{
    Vector at = GetPosition();
    if (W2dGenericItem* title = GetTitle())
    {
        title->SetPosition(at);
        title->SetSize({mWidth, kRowHeight, 0.0f});
        title->Show();
        at.y += GetStep().y;
    }
    float left = 0.0f;
    int32_t columns = ColumnsOf(&left);
    if (HasTitle())
    {
        PlaceBackground(0);
        W2dGraphicMenu::RevealRow(0, columns);
    }
    int32_t row = HasTitle() ? 1 : 0;
    for (int32_t i = 0; i < GetEntryCount(); ++i, ++row)
    {
        W2dGraphicMenu* entry = AsFramed(GetEntry(i));
        if (!entry)
            continue;
        PlaceBackground(row);
        W2dGraphicMenu::RevealRow(row, columns);
        entry->SetLabelPosition(at);
        entry->SetLabelSize({mWidth, kRowHeight, 0.0f});
        entry->ShowLabel();
        W2dGenericItem* label = entry->GetLabel();
        if (entry == GetCurrentEntry())
        {
            if (label)
                label->SetUpdateCallback(current);
            entry->HandleValueInput();
        }
        else
        {
            if (label)
                label->SetUpdateCallback(others);
            entry->Deselect();
        }
        if (label)
            label->Update();
        at.y += GetStep().y;
    }
}

W2dMenu* W2dGraphicMenu::Layout()
{
    W2dItemCallback others = GetProperty(0);
    W2dItemCallback current = GetProperty(1);
    HideFrame();
    const int64_t duration = int64_t(double(HbPerformanceFrequency()) * 0.1);
    const int64_t elapsed = RealNow() - GetStateTime();
    const bool first = !IsSoundPlayed();
    switch (GetState())
    {
    case kClosing:
        return Close(elapsed, duration, first);
    case kOpen:
    {
        float left = 0.0f;
        DrawFrame(ColumnsOf(&left), 2 * Rows(), 255);
        DrawRows(others, current);
        return this;
    }
    default:
        return Open(elapsed, duration, first);
    }
}

W2dMenu* W2dGraphicMenu::Open(int64_t elapsed, int64_t duration, bool first)
{
    if (first)
    {
        TsFModPlaySoundAt(kOpenSound, nullptr);
        if (W2dItemCallback opening = GetProperty(4))
            opening(GetLabel());
        SetSoundPlayed(1);
        // The frame of the sound is drawn, never skipped: the menu opens on a later frame.
        if (elapsed >= duration)
            elapsed = duration;
    }
    else if (elapsed >= duration)
    {
        SetState(kOpen);
        SetSoundPlayed(1);
        float left = 0.0f;
        DrawFrame(ColumnsOf(&left), 2 * Rows(), 255);
        if (GetTitle())
            GetTitle()->Show();
        Show();
        return this;
    }
    if (elapsed < 0)
        elapsed = 0;
    float left = 0.0f;
    const int32_t n = ColumnsOf(&left);
    const int32_t columns = int32_t(int64_t(n) * elapsed / duration);
    const int32_t reached = int32_t(int64_t(GetEntryCount()) * elapsed / duration);
    const double seconds = double(elapsed) / double(HbPerformanceFrequency());
    const uint8_t alpha = uint8_t(255.0 * double(elapsed) / double(duration));
    const double labelAlpha = seconds < 0.05 ? 0.0 : 80.0 * (seconds - 0.05) / 0.1;
    DrawFrame(columns, 2 * reached, alpha);
    Vector at = GetPosition();
    for (int32_t i = 0; i < reached; ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
        {
            PlaceBackground(i);
            entry->RevealRow(i, columns);
            entry->SetLabelPosition(at);
            entry->ShowLabel();
            Rgba grey = kLabelGrey;
            grey.alpha = uint8_t(labelAlpha > 255.0 ? 255.0 : labelAlpha);
            entry->SetLabelColour(grey);
            at.y += GetStep().y;
        }
    return this;
}

W2dMenu* W2dGraphicMenu::Close(int64_t elapsed, int64_t duration, bool first)
{
    if (first)
    {
        TsFModPlaySoundAt(kCloseSound, nullptr);
        SetSoundPlayed(1);
        if (elapsed >= duration)
            elapsed = duration - 1;
    }
    else if (elapsed >= duration)
    {
        W2dMenu* next = GetActiveMenu();
        if (next)
            next->SetState(kOpening);
        Hide();
        return next;
    }
    if (elapsed < 0)
        elapsed = 0;
    float left = 0.0f;
    const int32_t n = ColumnsOf(&left);
    int32_t columns = n - int32_t(int64_t(n) * elapsed / duration);
    if (columns >= n)
        columns = n - 1;
    const int32_t count = GetEntryCount();
    const int32_t rows = count - int32_t(int64_t(count) * elapsed / duration);
    const double seconds = double(elapsed) / double(HbPerformanceFrequency());
    const uint8_t alpha = uint8_t(255.0 * (1.0 - double(elapsed) / double(duration)));
    const double labelAlpha = seconds >= 0.05 ? 0.0 : 80.0 - 80.0 * seconds / 0.05;
    DrawFrame(columns, 2 * rows, alpha);
    for (int32_t i = 0; i < count; ++i)
        if (W2dGraphicMenu* entry = AsFramed(GetEntry(i)))
        {
            Rgba grey = kLabelGrey;
            grey.alpha = uint8_t(labelAlpha);
            entry->SetLabelColour(grey);
            if (i < rows)
            {
                PlaceBackground(i);
                entry->RevealRow(i, columns);
            }
        }
    return this;
}

// ---- Showing ----------------------------------------------------------------------------------------------

void W2dGraphicMenu::Show()
{
    if (IsDirty())
    {
        SetDirty(0);
        Layout();
    }
    for (int32_t i = 0; i < GetEntryCount(); ++i)
        if (W2dMenu* entry = GetEntry(i))
        {
            entry->Hide();
            entry->ShowLabel();
        }
    if (GetTitle())
        GetTitle()->Show();
    PushBoardTheme();
    MarkShown(1);
}

void W2dGraphicMenu::Hide()
{
    W2dMenu::Hide();
    HideFrame();
}

void W2dGraphicMenu::ShowLabel()
{
    if (GetLabel())
        GetLabel()->Show();
}

void W2dGraphicMenu::SetLabelSize(const Vector& size)
{
    if (GetLabel())
        GetLabel()->SetSize(size);
}

void W2dGraphicMenu::SetLabelPosition(const Vector& position)
{
    if (GetLabel())
        GetLabel()->SetPosition(position);
}

void W2dGraphicMenu::SetLabelColour(const Rgba& colour)
{
    if (GetLabel())
        GetLabel()->SetColour(colour);
}

float W2dGraphicMenu::GetLabelWidth()
{
    W2dGenericItem* label = GetLabel();
    if (!label)
        return 0.0f;
    if (HbClassDesc::IsKindOf(label, &W2dTextGraphicItem::sClassDesc))
        return static_cast<W2dTextGraphicItem*>(label)->GetTextWidth();
    Vector size;
    label->GetSize(&size);
    return size.x;
}

void W2dGraphicMenu::HandleValueInput() {}
void W2dGraphicMenu::SyncValue() {}
void W2dGraphicMenu::Deselect() {}

// ---- Input actions ---------------------------------------------------------------------------------------

void W2dGraphicMenu::SyncCurrentSlider()
{
    W2dGraphicMenu* entry = AsFramed(GetCurrentEntry());
    if (entry && HbClassDesc::IsKindOf(entry, &W2dGraphicSliderMenu::sClassDesc))
        entry->SyncValue();
}

int32_t W2dGraphicMenu::IsNextPressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_NEXT");
    if (pressed)
        SyncCurrentSlider();
    return pressed;
}

int32_t W2dGraphicMenu::IsPreviousPressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_PREVIOUS");
    if (pressed)
        SyncCurrentSlider();
    return pressed;
}

int32_t W2dGraphicMenu::IsChoosePressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_CHOOSE");
    if (pressed)
        SyncCurrentSlider();
    return pressed;
}

int32_t W2dGraphicMenu::IsBackPressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_UP");
    if (pressed)
        SyncCurrentSlider();
    // A back asked for by the program counts as one press.
    if (mBackRequested)
        pressed = 1;
    mBackRequested = 0;
    return pressed;
}
