// The scene.
#include "wscene.h"

HB_DEFINE_CLASS_DESC(WScene, HbRoot);
