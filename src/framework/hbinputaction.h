// HbInputAction: a named input action of a controller, with up to three key
// conditions that must hold together and the command contexts it is bound in.
#pragma once

#include "hbroot.h"

#include <cstdint>
#include <string>

class HbCommand;
class HbKeyCondition;

class HbInputAction : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kMaxConditions = 3;
    static constexpr int32_t kMaxContexts = 2;

    enum Flag : int32_t
    {
        kTriggered = 0x1,       ///< the answer of this frame
        kNeedsEvaluation = 0x2, ///< the conditions have not been asked this frame
        kEnabled = 0x4,         ///< bound in the current context
    };

    /// A new action is bound in one context, has no condition and only the
    /// needs-evaluation flag.
    HbInputAction(const char* name, HbCommand* command, int32_t context);
    /// Releases the conditions.
    ~HbInputAction() override;

    /// 0 while not enabled. Otherwise evaluates the conditions once per frame
    /// (the first call after the controller marked the action) and answers the
    /// kept result on later calls of the same frame.
    int IsTriggered();
    /// 1 when every condition holds on the key bytes, in order; the first that
    /// does not hold stops the walk (later ones are not stepped that frame).
    int Evaluate();
    /// Not triggered, not enabled, needs evaluation; every condition reset.
    void Reset();
    /// Takes a reference on the condition. 0 for null, for a key the action
    /// already watches, or when three conditions are held.
    int AddKey(HbKeyCondition* condition);
    /// 1 when the action is bound in the context.
    int InContext(int32_t context) const;
    /// Binds the action in one more context: 0 when already bound there or
    /// when it is bound in two contexts already.
    int AddContext(int32_t context);

    /// The bytes the key codes index and their number; a key code outside
    /// them reads as not pressed.
    void SetKeyStates(const uint8_t* keyStates, int32_t count);

    const std::string& GetName() const { return mName; }
    HbCommand* GetCommand() const { return mCommand; }
    int32_t GetFlags() const { return mFlags; }
    void SetFlags(int32_t flags) { mFlags = flags; }
    int32_t GetConditionCount() const { return mConditionCount; }
    HbKeyCondition* GetCondition(int32_t index) const;
    int32_t GetContextCount() const { return mContextCount; }
    int32_t GetContext(int32_t index) const;

private:
    std::string mName;
    int32_t mConditionCount = 0;
    HbKeyCondition* mConditions[kMaxConditions] = {};
    int32_t mContextCount = 0;
    int32_t mContexts[kMaxContexts] = {};
    HbCommand* mCommand;
    const uint8_t* mKeyStates = nullptr;
    int32_t mKeyStateCount = 0;
    int32_t mFlags = kNeedsEvaluation;
};
