// What the event-box kinds reach of the game: the current profile and the logical inventories.
#pragma once

class GameProfile;
class StringHashMap;

/// The current game state's profile, or null.
GameProfile* EBoxProfile();
/// The profile's global logical inventory, or null without a profile.
StringHashMap* EBoxGlobalInventory();
/// The in-mission state's sector logical inventory, or null outside that state.
StringHashMap* EBoxSectorInventory();
