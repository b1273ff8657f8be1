// The program's one application object; the framework's entry runs it.
#include "app/StatsApp.h"
#include "support/InitOrder.h"

CStatsApp theApp DELVORA_INIT_ORDER(init_order::kApplication);
