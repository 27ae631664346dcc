// W2dGraphicMenu: a menu drawn inside a white frame with a dark border and a drop shadow made of square
// tiles, which opens and closes with a short wipe and hands input over from one menu of the tree to the
// next once it has closed. The frame's items are shared by the menus of a tree.
#pragma once

#include "w2dmenu.h"

#include <cstdint>

class W2dGraphicContainer;

class W2dGraphicMenu : public W2dMenu
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The five frame containers, in this order.
    enum FramePart : int32_t
    {
        kTopEdge = 0,
        kBottomEdge,
        kLeftEdge,
        kRightEdge,
        kBackground,
        kFramePartCount,
    };

    explicit W2dGraphicMenu(W2dMenu* parent);
    /// Clear first.
    ~W2dGraphicMenu() override;

    /// The menu base's Clear, then this menu's hold on the frame goes; the frame's items go with the
    /// last menu holding them.
    void Clear() override;
    /// A pending layout first; every entry hidden with its label shown; the title; the key hints.
    void Show() override;
    /// Entries, label, title and the frame hidden; the key hints popped.
    void Hide() override;
    /// As the base's, with the current slider synchronised; back also answers a requested back.
    int32_t IsNextPressed() override;
    int32_t IsPreviousPressed() override;
    int32_t IsChoosePressed() override;
    int32_t IsBackPressed() override;
    void ShowLabel() override;
    /// By state: the opening wipe, the closing wipe (answering the menu taking over), or the frame and
    /// the rows.
    W2dMenu* Layout() override;

    virtual void SetLabelSize(const Vector& size);
    virtual void SetLabelPosition(const Vector& position);
    virtual void SetLabelColour(const Rgba& colour);
    /// The text width of a text label, else the label's width; 0 without a label.
    virtual float GetLabelWidth();
    /// Shows the row's background piece, as wide as the columns so far (at most the common width).
    virtual void RevealRow(int32_t row, int32_t columns);
    /// Nothing here; the option entries read the value actions.
    virtual void HandleValueInput();
    virtual void SyncValue();
    virtual void Deselect();

    /// Measures the tree, sizes every label, builds the frame, centres the tree (kind 0 x, 1 y, 2
    /// both), places the frame at the position and starts opening. 0 when a frame item cannot be made.
    int32_t BuildFrame(int32_t kind);
    void MeasureWidth();
    void ApplyWidth();
    void Centre(int32_t kind);

    float GetWidth() const { return mWidth; }
    /// This menu's frame container (null when it holds no frame).
    W2dGraphicContainer* GetFramePart(int32_t part) const;
    /// The common width of the frame this menu holds (0 without one).
    float GetCommonWidth() const;
    /// The largest row count of any framed menu so far.
    static int32_t GetRowHighWater();

    struct Frame;

protected:
    /// Runs the sliders' synchronisation when the current entry is one.
    void SyncCurrentSlider();
    /// Places the background piece of the row inside this menu's frame (RevealRow sizes and shows it).
    void PlaceBackground(int32_t row);

private:
    int32_t Rows() const;
    void HoldFrame(Frame* frame);
    void DropFrame();
    void HideFrame();
    /// Lays the frame out for so many columns and tile rows at the alpha; the current column count.
    int32_t ColumnsOf(float* left) const;
    void DrawFrame(int32_t columns, int32_t tileRows, uint8_t alpha);
    W2dMenu* Open(int64_t elapsed, int64_t duration, bool first);
    W2dMenu* Close(int64_t elapsed, int64_t duration, bool first);
    void DrawRows(W2dItemCallback others, W2dItemCallback current);

    float mWidth = 0.0f;
    Frame* mFrame = nullptr;
};
