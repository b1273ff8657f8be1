#pragma once
// The order in which the program's static objects are built before its entry runs;
// they are destroyed in the reverse order at exit. Left to the toolchain, objects of
// different files are built in link order, so each definition below names its place
// with DELVORA_INIT_ORDER. Every object may then use the ones before it from its
// constructor and its destructor (all of them may take text from the string pools).
//
// GCC builds lower numbers first; 101 to 65535 are the program's own, and objects
// without a number come after all of these (the tests' own objects among them).
// Objects of one file that share a number are built in the order of their definitions.

namespace init_order {

constexpr int kStringPools = 1000;        // g_stringPool64, 128, 256, 512 (support/BlockPool.cpp)
constexpr int kApplication = 1200;        // theApp (app/Main.cpp)
constexpr int kEndedStreams = 1300;       // g_qEndedStreams (stats/StreamModel.cpp)
constexpr int kItemData = 1310;           // CDevicePage::m_aItemData (stats/DevicePage.cpp)
constexpr int kHistory = 1400;            // CRecordLogData::m_global (record/RecordLogData.cpp)
constexpr int kMessageModuleCache = 1500; // g_moduleCache (support/EventLogStatics.cpp)
constexpr int kHelpLine = 1510;           // g_strHelpLine (support/EventLogStatics.cpp)

static_assert(kStringPools < kApplication && kApplication < kEndedStreams &&
                  kEndedStreams < kItemData && kItemData < kHistory && kHistory < kMessageModuleCache &&
                  kMessageModuleCache < kHelpLine,
              "the list above is the order of construction");

}  // namespace init_order

#define DELVORA_INIT_ORDER(priority) __attribute__((init_priority(priority)))
