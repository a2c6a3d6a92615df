// How long one visit waits for a window's answers, from its first request.
#pragma once

#include "winsys/window_system.h"

// Ten minutes in every release. Set when the executable is built (CMake's
// TESMARINDS_ANSWER_LIMIT_S) so that the scenarios under Wine can build
// one with a short limit instead of waiting ten minutes.
extern const winsys::DWORD kAnswerLimitMs;
