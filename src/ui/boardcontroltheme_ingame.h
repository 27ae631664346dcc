// BoardControlTheme_InGame: theme 1 of the key-hint bar, the head-up display in play: the hero's
// health (gauge, lagging gauge, face) with hit markers, the weapon in hand with its bullets and
// magazines, the cross-hair, the alarm indicator, the boss gauge and a one-message box. It reads the
// hero through the gameplay contract's HeroHudAccess every frame.
#pragma once

#include "boardcontrol.h"
#include "hbptr.h"

#include <cstdint>
#include <string>

class BoardControl;
class W2dBlendedPictureItem;
class W2dGaugeItem;
class W2dGenericItem;
class W2dPictureItem;
class W2dTextGraphicItem;
class W2dTimedListGraphicContainer;
class W3dFrame;

class BoardControlTheme_InGame : public BoardControlTheme
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kThemeId = 1;
    static constexpr int32_t kMarkers = 12;
    static constexpr int32_t kMagazines = 5;
    static constexpr int32_t kBullets = 32;
    static constexpr int32_t kNoDirection = 4;
    enum Segment : int32_t
    {
        kUpperLeft = 0,
        kUpperRight = 1,
        kLowerLeft = 2,
        kLowerRight = 3,
    };
    /// Answers whether the current level's handle still reaches its level.
    using LevelCheck = int32_t (*)();

    BoardControlTheme_InGame();
    ~BoardControlTheme_InGame() override;

    int32_t Build() override;
    int32_t Show() override;
    int32_t Update() override;
    int32_t Hide() override;
    int32_t Release() override;
    void Reset() override;

    /// Nothing is queued for the object display: 1.
    virtual int32_t QueueObjectDisplay(HbRoot* object);
    virtual int32_t QueueItemDisplay(const char* itemId);
    /// Removes every message, one removal sound each.
    virtual void ClearMessages();

    /// A hero in the world, not linked to an object, and a level still reachable.
    int32_t IsInPlay() const;

    void SetAlarm(int32_t on);
    void UpdateAlarm();
    void DrawBossHitPoints(const char* textureId, float fraction);
    /// One message at a time; a message logged while hidden is kept and logged when next shown.
    void LogMessage(const char* text);
    void LogMessageFromResource(const char* textId);

    void RestoreHealthDisplay(int32_t stamp);
    void UpdateAmmo();
    void HideAmmo();
    void OnAmmoChanged();
    void ShowSight();
    void HideSight();
    /// spread: the gap of the sight segments from the centre, a fraction of the screen width.
    void SetSightSpread(float spread);

    // ---- Reaching the theme -----------------------------------------------------------------------------
    /// The game manager's bar, set by the start-up; null before.
    static void SetGameBoardControl(BoardControl* bar);
    static BoardControl* GetGameBoardControl();
    /// Theme 1 of the bar (the game's bar for null) when it is this kind, else null.
    static BoardControlTheme_InGame* Find(BoardControl* bar = nullptr);
    /// OnAmmoChanged on the theme, or on theme 1 of the game's bar for null.
    static void OnAmmoChanged(BoardControlTheme_InGame* theme);
    /// Null puts back the default, which asks the script world whether a level is started.
    static void SetLevelCheck(LevelCheck check);
    /// Theme 1 as the game's start-up registers it on the bar.
    static void CreateTheme(BoardControl* bar);

    // ---- Read by tests and by the callers that check the display -----------------------------------------
    W2dPictureItem* GetFace() const { return mFace; }
    W2dGaugeItem* GetHealthGauge() const { return mHealthGauge; }
    W2dGaugeItem* GetLaggingGauge() const { return mLaggingGauge; }
    W2dPictureItem* GetAlarmIndicator() const { return mAlarm; }
    W2dGaugeItem* GetBossGauge() const { return mBossGauge; }
    W2dPictureItem* GetBossPicture() const { return mBossPicture; }
    W2dPictureItem* GetHitMarker(int32_t ring, int32_t direction) const { return mMarkers[ring * 4 + direction]; }
    W2dPictureItem* GetMagazineIcon(int32_t i) const { return mMagazineIcons[i]; }
    W2dPictureItem* GetBulletIcon(int32_t i) const { return mBulletIcons[i]; }
    W2dPictureItem* GetWeaponIcon() const { return mWeaponIcon; }
    W2dPictureItem* GetSightCentre() const { return mSightCentre; }
    W2dBlendedPictureItem* GetSightSegment(int32_t i) const { return mSegments[i]; }
    W2dPictureItem* GetMessageFrame() const { return mMessageFrame; }
    W2dTimedListGraphicContainer* GetMessageList() const { return mMessages; }
    W2dTextGraphicItem* GetHintCaption() const { return mHintCaption; }
    const std::string& GetHintText(int32_t i) const { return mHintTexts[i]; }
    int32_t GetAlarmMode() const { return mAlarmMode; }
    float GetLaggingValue() const { return mLaggingValue; }
    int32_t GetShownHitDirection() const { return mShownHitDirection; }
    int32_t GetNearDeathChannel() const { return mNearDeathChannel; }
    int32_t IsHealthFaded() const { return mHealthFaded; }
    int32_t IsSightShown() const { return mSightShown; }

private:
    void UpdateHealth(HbRoot* hero, int64_t now);
    void StopNearDeath();
    void HideCounts();

    W2dPictureItem* mMessageFrame = nullptr;
    W2dTimedListGraphicContainer* mMessages = nullptr;
    float mMessageBox[3] = {};
    W2dGaugeItem* mHealthGauge = nullptr;
    W2dGaugeItem* mLaggingGauge = nullptr;
    W2dPictureItem* mFace = nullptr;
    W2dPictureItem* mAlarm = nullptr;
    int32_t mAlarmMode = 1;
    int64_t mAlarmBlinkTime = 0;
    int32_t mAlarmPhase = 0;
    W2dPictureItem* mMarkers[kMarkers] = {};
    int64_t mLastHitTime = 0;
    int64_t mAmmoTime = 0;
    int32_t mShownHitDirection = kNoDirection;
    float mLaggingValue = 1.0f;
    int64_t mHealthDisplayTime = 0;
    W2dGaugeItem* mBossGauge = nullptr;
    W2dPictureItem* mBossPicture = nullptr;
    std::string mHintTexts[4];
    W2dTextGraphicItem* mHintCaption = nullptr;
    W2dPictureItem* mWeaponIcon = nullptr;
    W2dPictureItem* mMagazineIcons[kMagazines] = {};
    W2dPictureItem* mBulletIcons[kBullets] = {};
    int32_t mAmmoRedisplay = 0;
    W2dPictureItem* mSightCentre = nullptr;
    W2dBlendedPictureItem* mSegments[4] = {};
    int32_t mSightShown = 0;
    W3dFrame* mObjectFrame = nullptr;
    float mObjectPosition[2] = {0.496832f, 0.2f};
    HbHandlePtr mHeldItem;
    int32_t mObjectState = 0;
    int32_t mNearDeathChannel = -1;
    int32_t mHealthFaded = 0;
    int32_t mAmmoFade = 0;
    /// The last message logged while hidden, logged when the theme is next shown.
    std::string mPendingMessage;
    int32_t mHasPendingMessage = 0;
};
