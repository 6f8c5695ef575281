// The file callbacks that the system's cabinet library (FDI and FCI) calls:
// names are UTF-8 and reach CreateFileW as UTF-16; every read, write and close
// is checked, and the first failure is kept for the message.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>

#include "platform/datetime.h"

namespace pm::cabarc::win32files {

// Names that the callbacks understand besides real files.
inline constexpr const char* kMemoryName = "*memory*";    // the bytes of memoryBytes()
inline constexpr const char* kDiscardName = "*discard*";  // written bytes are counted, not kept

// The cabinet held in memory that kMemoryName opens (one per thread).
std::span<const unsigned char>& memoryBytes();
// The first failure of a callback since the last call, in words ("" when none).
std::string takeFailure();

// Opens a file by C run-time flags (_O_RDONLY, _O_CREAT, _O_EXCL...).
INT_PTR open(const char* utf8Name, int oflag);
// Takes a file that the caller opened for writing; close() closes it.
INT_PTR adopt(HANDLE file);
// The system's handle of a real file (INVALID_HANDLE_VALUE for the others).
HANDLE nativeOf(INT_PTR handle);
// Gives up a real file without closing it: the caller closes its handle.
HANDLE release(INT_PTR handle);
UINT read(INT_PTR handle, void* buffer, UINT count);
UINT write(INT_PTR handle, const void* buffer, UINT count);  // (UINT)-1 on failure
int close(INT_PTR handle);                                   // 0, or -1 on failure
long seek(INT_PTR handle, long distance, int origin);        // new position, or -1

// DOS date and time words <-> local civil date-time.
bool fromDos(unsigned short date, unsigned short time, DateTime& out);
void toDos(DateTime t, unsigned short& date, unsigned short& time);

}  // namespace pm::cabarc::win32files
