// What the scenario commands' files share: token reading, the current profile, the level's
// root, the director actor and the command bodies registered in one place.
#pragma once

#include "hbcommand.h"

#include <cstdint>
#include <string>

class GameProfile;
class TsActor;
class TsHeroActor;
class W3dFrame;
struct Vector;

namespace scmd
{
/// The C library's integer conversion: text that is not a number reads 0.
int32_t Int(const HbCommandArgs& args, int32_t index);
float Real(const HbCommandArgs& args, int32_t index);
const std::string& Text(const HbCommandArgs& args, int32_t index);
/// A real as an integer, truncated; 0 when it does not fit.
int32_t Truncate(float value);
/// Seconds from a line as ticks: 0 for none, negative or undefined, a day at most.
int64_t SecondsToTicks(double seconds, int64_t perSecond);
/// Three reals from index on.
Vector Vec(const HbCommandArgs& args, int32_t index);
/// The token as a slot number; -1 outside the 200 slots.
int32_t Slot(const HbCommandArgs& args, int32_t index);

GameProfile* Profile();
W3dFrame* LevelRoot();
TsHeroActor* Hero();
/// The text id through the display's hook.
void LogText(const char* id);
/// Calls the director actor's script method with a built argument (null: nothing).
void CallDirector(const char* method, struct _object* argument);

using Body = int (*)(const HbCommandArgs& args);

// ---- Sector, mission, texts, fades, director, marks, objectives, hero control -------------------
int LaunchSector(const HbCommandArgs& args);
int SetSector(const HbCommandArgs& args);
int SetSectorMusic(const HbCommandArgs& args);
int SetEndMission(const HbCommandArgs& args);
int EndMission(const HbCommandArgs& args);
int DisplayText(const HbCommandArgs& args);
int LaunchLabel(const HbCommandArgs& args);
int EraseText(const HbCommandArgs& args);
int FadeIn(const HbCommandArgs& args);
int FadeOut(const HbCommandArgs& args);
int SetSectorAlarm(const HbCommandArgs& args);
int SetSectorRespawnBuffer(const HbCommandArgs& args);
int SetMarkLock(const HbCommandArgs& args);
int SetObjective(const HbCommandArgs& args);
int AssignTeam(const HbCommandArgs& args);
int SetHeroControl(const HbCommandArgs& args);

// ---- Actors -----------------------------------------------------------------------------------
int SetActorPath(const HbCommandArgs& args);
int SetActorRestrictionPath(const HbCommandArgs& args);
int SetActorBhvScenaricCallBack(const HbCommandArgs& args);
int PlayAnim(const HbCommandArgs& args);
int Bonus(const HbCommandArgs& args);
int Door(const HbCommandArgs& args);
int MobileDof(const HbCommandArgs& args);
int Gard(const HbCommandArgs& args);
int ExplosiveObject(const HbCommandArgs& args);
int SetActorState(const HbCommandArgs& args);
int SetActorPosition(const HbCommandArgs& args);
int SetPhysicalInventoryAction(const HbCommandArgs& args);
int SetEnemy(const HbCommandArgs& args);
int AttachedObjectCreate(const HbCommandArgs& args);
int AttachObjectOnActor(const HbCommandArgs& args);
int DetachObjectFromActor(const HbCommandArgs& args);

// ---- Materials, nodes, triggers, sounds, effects -------------------------------------------------
int AnimatedMaterial(const HbCommandArgs& args);
int WObject(const HbCommandArgs& args);
int SoundTriggerCreate(const HbCommandArgs& args);
int SoundTriggerUpdate(const HbCommandArgs& args);
int TriggerUpdate(const HbCommandArgs& args);
int Play2DSound(const HbCommandArgs& args);
int MusicModifier(const HbCommandArgs& args);
int Create3DSound(const HbCommandArgs& args);
int LaunchFX(const HbCommandArgs& args);
int PlayFX(const HbCommandArgs& args);
int FXModifier(const HbCommandArgs& args);
int SoundModifier(const HbCommandArgs& args);

// ---- Cameras -------------------------------------------------------------------------------------
int SetFogParams(const HbCommandArgs& args);
int SetCameraParams(const HbCommandArgs& args);
int ScenaricCamera(const HbCommandArgs& args);
int ShotCmd(const HbCommandArgs& args);
int LaunchShotCmd(const HbCommandArgs& args);
} // namespace scmd
