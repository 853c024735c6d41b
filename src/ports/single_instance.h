#pragma once

namespace hta {

// One copy of the launcher per log-on session. Never re-enters the core.
class SingleInstance {
 public:
  virtual ~SingleInstance() = default;

  // Claims the session's single-copy marker. True when another copy of the
  // program already holds it (this copy must then end without side
  // effects). The claim lasts until the process ends.
  virtual bool AnotherCopyRunning() = 0;

  // Brings the running copy's main window to the foreground (restoring it
  // when minimised or hidden in the tray). Failures are ignored.
  virtual void ActivateOtherCopy() = 0;
};

}  // namespace hta
