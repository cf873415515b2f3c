#pragma once
// Start-up measurement: when VELQOR_FIRST_PAINT_MARK names a file, the first
// complete paint of the watched window writes the milliseconds since the
// process was created into it (one line, e.g. "312.4"), and with
// VELQOR_FIRST_PAINT_EXIT=1 the process then ends at once with exit code 0.
// Without the variable nothing is watched. bench/first-paint.sh reads the
// file; the bare comparison window of bench/first_paint uses the same code.
#include <windows.h>

namespace first_paint {

// True when the mark file is asked for (read once).
bool Requested();

// Called after a WM_PAINT of the watched window: the first one that drew the
// whole client area of the visible window writes the mark (once).
void Painted(HWND hwnd, const RECT& painted, const RECT& client);

}  // namespace first_paint
