// TsSendEvent's pool.
#include "tssendevent.h"

HB_DEFINE_CLASS_POOL(TsSendEvent, "TsSendEvent", TsSendEvent::kPoolSize);
