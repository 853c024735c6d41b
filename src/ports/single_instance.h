#pragma once

namespace hta {

// One copy of the launcher per log-on session. Never re-enters the core.
class SingleInstance {
 public:
  virtual ~SingleInstance() = default;

  // Claims the session's single-copy marker. True when another copy of the
  // program already holds it (this copy must then end without side
  // effects). The claim lasts until Release or the end of the process.
  virtual bool AnotherCopyRunning() = 0;

  // Gives up this copy's claim, so a copy started from now on runs. Called
  // when the program ends, which may be a moment before the process does
  // (a transfer still has to return). Harmless when nothing was claimed.
  virtual void Release() = 0;

  // Brings the running copy's main window to the foreground (restoring it
  // when minimised or hidden in the tray). Failures are ignored.
  virtual void ActivateOtherCopy() = 0;
};

}  // namespace hta
