#pragma once

#include <string_view>

namespace hta {

// Whether a file name that the back office sent (a download's or an
// application's `filename`, an action's file name) may be joined to the
// application folder; it holds for the name both as sent (ANSI) and as a
// UTF-8 path. The folder is the only place the server may write to
// or open from, so the name must name a plain file directly inside it.
//
// Refused:
// - the empty name, "." and "..";
// - a name holding "\", "/" or ":" (another folder, a drive, an alternate
//   data stream) or a control character (bytes below 0x20, and 0x7F);
// - a name ending in a dot or a blank, which Windows strips, so that the
//   file written is not the file named;
// - a reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also
//   COM and LPT with the superscript digits 1 to 3, CONIN$, CONOUT$) in any
//   letter case, alone or followed by an extension ("nul.hta"), with or
//   without blanks before the extension: opening one reaches the device, not
//   a file.
bool IsPlainFileName(std::string_view name);

}  // namespace hta
