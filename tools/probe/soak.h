#pragma once

#include <string>

namespace hta::probe {

// The cycle after which the first figures are taken: by then every cache,
// pool and lazily made window of the launcher and of Wine exists.
inline constexpr long kFirstCheckpoint = 20;

// scripts/soak's driver: starts the launcher against the back office whose
// port file and request log are "soak.port" and "soak.log" in
// HTA_BACKOFFICE_DIR, then runs `cycles` polls, each posted as the poll timer's tick
// (again when a tick asked for nothing) and counted only once the server saw
// the action list and the launched file, the fake opener opened that file,
// and both popups (with any of a poll by the launcher's own one-minute
// timer) were closed by their "x". After cycle kFirstCheckpoint and the
// last, and some quiet seconds, it prints "checkpoint CYCLE windows N temps
// N" and waits for `syncFolder`\ack-CYCLE. 0 when every cycle ran and the
// launcher ended on WM_CLOSE.
int RunSoak(long cycles, const std::string& syncFolder);

}  // namespace hta::probe
