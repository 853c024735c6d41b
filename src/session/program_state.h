#pragma once

namespace hta {

// What the parts that yield to the message loop (a login, a fetch, the
// dispatch of an action list) must ask after every yield: whether the
// program has ended meanwhile, and whether a login holds the transfer.
// Launcher answers; the parts keep only a reference to this.
class ProgramState {
 public:
  virtual ~ProgramState() = default;

  // The program has ended (the view was told to close): nothing more may be
  // fetched, moved, played, opened or shown.
  virtual bool Ended() const = 0;
  // A login is under way on the transfer: no other transfer may start on
  // it meanwhile.
  virtual bool LoginRunning() const = 0;
};

}  // namespace hta
