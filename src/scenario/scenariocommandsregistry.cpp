// The scenario commands' registration, in the order the console lists them. Nothing calls into
// this file: the program links it whole, and the commands register during static construction.
#include "hbcommand.h"
#include "scenariocommands.h"
#include "scenariocommands_local.h"

namespace
{
class ScenarioCommand : public HbCommand
{
public:
    ScenarioCommand(const char* name, const char* help, scmd::Body body) : HbCommand(name, help), mBody(body) {}
    int Execute(const HbCommandArgs& args, int32_t) override { return mBody(args); }

private:
    scmd::Body mBody;
};

// In the order the console lists them.
ScenarioCommand sCommands[] = {
    {"launch_sector", "Launch a sector : launch_sector SectorID [StartMarkName]", scmd::LaunchSector},
    {"set_sector", "Sets a sector : set_sector SectorID", scmd::SetSector},
    {"AnimatedMaterial", "", scmd::AnimatedMaterial},
    {"SetActorPath", "", scmd::SetActorPath},
    {"SetActorRestrictionPath", "", scmd::SetActorRestrictionPath},
    {"SetActorBhvScenaricCallBack", "", scmd::SetActorBhvScenaricCallBack},
    {"PlayAnim", "", scmd::PlayAnim},
    {"Bonus", "", scmd::Bonus},
    {"Door", "", scmd::Door},
    {"MobileDof", "", scmd::MobileDof},
    {"Gard", "", scmd::Gard},
    {"ExplosiveObject", "", scmd::ExplosiveObject},
    {"WObject", "", scmd::WObject},
    {"SoundTriggerCreate", "", scmd::SoundTriggerCreate},
    {"SoundTriggerUpdate", "", scmd::SoundTriggerUpdate},
    {"TriggerUpdate", "", scmd::TriggerUpdate},
    {"Play2DSound", "", scmd::Play2DSound},
    {"MusicModifier", "", scmd::MusicModifier},
    {"SetSectorMusic", "", scmd::SetSectorMusic},
    {"Create3DSound", "", scmd::Create3DSound},
    {"LaunchFX", "", scmd::LaunchFX},
    {"PlayFX", "", scmd::PlayFX},
    {"FXModifier", "", scmd::FXModifier},
    {"SoundModifier", "", scmd::SoundModifier},
    {"SetActorState", "", scmd::SetActorState},
    {"SetActorPosition", "", scmd::SetActorPosition},
    {"SetEndMission", "", scmd::SetEndMission},
    {"EndMission", "End of the mission", scmd::EndMission},
    {"SetPhysicalInventoryAction", "", scmd::SetPhysicalInventoryAction},
    {"DisplayText", "", scmd::DisplayText},
    {"LaunchLabel", "Launch a label sequence at end of a sector", scmd::LaunchLabel},
    {"EraseText", "", scmd::EraseText},
    {"FadeIn", "", scmd::FadeIn},
    {"FadeOut", "", scmd::FadeOut},
    {"SetFogParams", "", scmd::SetFogParams},
    {"SetCameraParams", "", scmd::SetCameraParams},
    {"ScenaricCamera", "", scmd::ScenaricCamera},
    {"ShotCmd", "", scmd::ShotCmd},
    {"LaunchShotCmd", "", scmd::LaunchShotCmd},
    {"SetSectorAlarm", "", scmd::SetSectorAlarm},
    {"SetSectorRespawnBuffer", "", scmd::SetSectorRespawnBuffer},
    {"SetMarkLock", "", scmd::SetMarkLock},
    {"SetEnemy", "", scmd::SetEnemy},
    {"SetObjective", "", scmd::SetObjective},
    {"AssignTeam", "", scmd::AssignTeam},
    {"UnassignTeam", "", scmd::AssignTeam},
    {"AttachedObjectCreate", "", scmd::AttachedObjectCreate},
    {"AttachObjectOnActor", "", scmd::AttachObjectOnActor},
    {"DetachObjectFromActor", "", scmd::DetachObjectFromActor},
    {"SetHeroControl", "", scmd::SetHeroControl},
};
} // namespace

int32_t ScenarioCommandsRegisteredCount()
{
    int32_t count = 0;
    if (HbCommandManager* commands = HbCommandManager::Instance())
        for (const ScenarioCommand& command : sCommands)
            count += commands->FindCommand(command.GetName().c_str()) == &command ? 1 : 0;
    return count;
}
