// The closing of extracted members' files, which Cabarc.exe leaves to a thread
// of its own (win32Host.cpp): under Wine every close is a round trip to its
// server, time the decompression need not wait for.
#pragma once

#include <windows.h>

namespace pm::cabarc {

// Closes the file of a member that is in place (or marked for deletion), soon.
void closeMemberLater(HANDLE file);
// Returns once every file given to closeMemberLater is closed.
void closeMembersNow();

}  // namespace pm::cabarc
