// The event log's static objects, defined here together and in this order: the
// message-module cache is built before the help line and destroyed after it.
#include "support/EventLog.h"
#include "support/MessageModule.h"

CMessageModuleCache g_moduleCache;
CWideString g_strHelpLine;
