// The event log's static objects, defined here together and in this order: the
// message-module cache is built before the help line and destroyed after it.
#include "support/EventLog.h"
#include "support/InitOrder.h"
#include "support/MessageModule.h"

CMessageModuleCache g_moduleCache DELVORA_INIT_ORDER(init_order::kMessageModuleCache);
CWideString g_strHelpLine DELVORA_INIT_ORDER(init_order::kHelpLine);
