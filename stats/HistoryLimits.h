#pragma once
// How many ended streams the record log page's history keeps: the range its
// history size dialog accepts and the size it starts with. The largest size also
// bounds the queue of ended streams before the page first takes from it.

constexpr int kMinHistorySize = 10;
constexpr int kMaxHistorySize = 2000;
constexpr int kDefaultHistorySize = 500;
