#include "objective.h"

HB_DEFINE_CLASS_DESC(Objective, HbRoot);
