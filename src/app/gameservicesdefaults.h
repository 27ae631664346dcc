// The game's service table filled with the real calls of the layers the game runs on.
#pragma once

/// Fills the table in force: renderer, animation, script host and actor start-up for real;
/// the entries of layers the program does not hold keep their least behaviour. Also gives the
/// scenario layer the hero's inventory, equipment and hand.
void GameServicesInstallDefaults();

/// The game's answer to damaged content: a group the game cannot run without that loads with a
/// missing, unreadable or failing part ends the game with a message naming it (exit code 1);
/// any other group is reported on stderr and the game goes on.
void GameContentChecksInstall();
