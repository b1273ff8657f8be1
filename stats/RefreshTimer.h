#pragma once
// The timer id that every page uses on its own window for its refresh.

#include <windows.h>

constexpr UINT_PTR IDT_REFRESH = 2024;
