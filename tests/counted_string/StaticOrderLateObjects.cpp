// The places after the history, defined in a file linked before the early ones.

#include "support/InitOrder.h"
#include "tests/counted_string/StaticOrderProbe.h"

CStaticProbe g_probeHelpLine DELVORA_INIT_ORDER(init_order::kHelpLine)("help line");
CStaticProbe g_probeModuleCache DELVORA_INIT_ORDER(init_order::kMessageModuleCache)("message module cache");
CStaticProbe g_probeHistory DELVORA_INIT_ORDER(init_order::kHistory)("history");
CStaticProbe g_probeUnordered("object without a place");
