// GameState_Map: the map overlay over the stage. It is persistent: going back to the stage only
// hides it, and the next opening shows the same map view again; the stage's leave takes it down.
#pragma once

#include "gamestate.h"

class MapView;
class MissionManager;

class GameState_Map : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Map();
    ~GameState_Map() override;
    /// The first opening over a stage: the map view built, the pause sound, the "Map" input.
    void Enter() override;
    /// A later opening: the same view refreshed and shown, the pause sound, the "Map" input.
    void Resume() override;
    /// Back to the stage: the view hidden, the input closed, the cross-hair restored.
    void Suspend() override;
    /// The stage is left for good: the view released; the next opening enters again.
    void Leave() override;
    /// The view's own input and a 2D frame; "MAP_BACK" or "MAP_ESC" goes back to the stage, as
    /// does any frame without a view.
    void Update() override;

    /// A map view over the profile's missions, on the renderer's 2D list and refreshed.
    void BuildMapView();
    /// The "Map" context and key-hint theme 6.
    void OpenInput();
    /// Each of them popped only when it is on top.
    void CloseInput();

    MapView* GetMapView() const { return mMapView; }

private:
    MissionManager* Missions() const;
    void DropMapView();

    MapView* mMapView = nullptr;
};
