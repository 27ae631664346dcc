// The movement controller's class descriptor.
#include "animmovectrl.h"

HB_DEFINE_CLASS_DESC(AnimMoveCtrl, HbRoot);
