// GameState_Inventory: its place in the state graph and its lifecycle flags.
#include "gamestateinventory.h"

HB_DEFINE_CLASS_DESC(GameState_Inventory, GameState);

GameState_Inventory::GameState_Inventory() : GameState(kGameStateInventory) {}

void GameState_Inventory::Resume()
{
    GameState::Resume();
}

void GameState_Inventory::Suspend()
{
    GameState::Suspend();
}

void GameState_Inventory::Leave()
{
    mEntered = 0;
}

void GameState_Inventory::Update() {}
