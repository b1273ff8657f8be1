// The program's one application object; the framework's entry runs it.
#include "app/StatsApp.h"

CStatsApp theApp;
