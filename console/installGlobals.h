// The installer's program-wide state outside the install window.
#pragma once

namespace pm {

// Set by the agreement dialog: true once the user has pressed "I Agree". The
// install window clears it when it loads, and the install sequence before it
// shows the agreement.
extern bool eulaAccepted;

}  // namespace pm
