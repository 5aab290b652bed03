#pragma once
// How long the tests wait for windows, dialogs, processes and answers. Each
// bound is what a native machine needs with room to spare, times
// PIXMERLE_TIME_FACTOR, which scripts/wine-env raises where 32-bit programs
// run emulated. A bound ends a wait for what should come; nothing asserts
// how long anything took.
#include <windows.h>

DWORD Bound(DWORD nativeMs);

// One step of a dialog: a window comes up, a click is handled.
inline const DWORD kStepMs = Bound(30000);
// Wine's shell dialogs and new processes come up slowly.
inline const DWORD kShellDialogMs = Bound(120000);
// A message to a thread that answers at once.
inline const DWORD kAnswerMs = Bound(5000);
