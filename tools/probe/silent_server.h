#pragma once

namespace hta::probe {

// scripts/bench's silent-server figures: against the back office whose port
// file and request log are "bench.port" and "bench.log" in
// HTA_BACKOFFICE_DIR (bench/backoffice.scenario), whose routes under
// /bench/silent/ hold their answer 10 s at one stage each: a bootstrap
// endpoint, the login, a file's first byte, a file's middle, an action list.
// For every stage it starts the launcher twice: once to ask its window every
// 100 ms through the whole stage (WindowAnswerWatch), once to end it in the
// middle of the silence (the window's Close in the start-up, "E&xit" in the
// tray) and time the end of the process. Prints a line per stage, then
//   window answer during a silent server: worst W ms over N asks
//   Exit during a silent server: process ended after E ms
// with the worst of all stages. 0 when every stage ran.
int RunSilentServer();

}  // namespace hta::probe
