// One install at a time on a machine, and nothing left of a killed one.
//
// An installer takes the machine's install lock before it changes anything and
// holds it until it ends; a second installer started meanwhile is refused at
// once and touches nothing. The lock belongs to the process: it is given up
// however the process ends, a kill included, so a killed run never blocks the
// next one (Windows: a named mutex; Linux: an flock on a file in the machine
// folder).
//
// Taking the lock also clears what a killed run left behind: the temporary files
// that the platform writes beside their targets and the temporary folders it
// made of its own. Releasing it clears this run's, so none outlives a run.
#pragma once

#include "platform/result.h"

namespace pm {

class InstallLock {
 public:
  virtual ~InstallLock() = default;
  // Takes the lock without waiting, then clears what an earlier run left.
  // Fails, changing nothing, when another installer holds the lock; the message
  // says so in words for the user.
  virtual Status acquire() = 0;
  // Clears this run's leftovers and gives the lock up; nothing when not held.
  virtual void release() = 0;
};

// The message of an acquire refused because another installer holds the lock.
inline constexpr const char* kAnotherInstallerRuns =
    "Another Pelmora installer is already running on this computer. Let it finish, then start "
    "this one again if it is still needed. Nothing has been changed.";

// True when acquire failed because another installer holds the lock (rather
// than because the lock cannot be had at all, on a machine that cannot be written).
inline bool anotherInstallerRuns(const Status& refused) {
  return refused.message() == kAnotherInstallerRuns;
}

}  // namespace pm
