#include "tools/cabarc/win32/cabinetFiles.h"

#include <fcntl.h>

#include <cstring>
#include <utility>

#include "platform/win32/wideText.h"

namespace pm::cabarc::win32files {
namespace {

struct Handle {
  enum Kind { File, Memory, Discard } kind = File;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::span<const unsigned char> bytes;
  std::size_t position = 0;
};

thread_local std::string lastFailure;

void fail(const std::string& what) {
  if (lastFailure.empty()) lastFailure = what + ": " + pm::win32::errorMessage(GetLastError());
}

Handle* of(INT_PTR h) {
  return reinterpret_cast<Handle*>(h);
}

INT_PTR wrap(Handle* h) {
  return reinterpret_cast<INT_PTR>(h);
}

}  // namespace

std::span<const unsigned char>& memoryBytes() {
  thread_local std::span<const unsigned char> bytes;
  return bytes;
}

std::string takeFailure() {
  return std::exchange(lastFailure, std::string());
}

INT_PTR adopt(HANDLE file) {
  return wrap(new Handle{Handle::File, file, {}, 0});
}

HANDLE nativeOf(INT_PTR handle) {
  return of(handle)->kind == Handle::File ? of(handle)->file : INVALID_HANDLE_VALUE;
}

HANDLE release(INT_PTR handle) {
  const HANDLE file = nativeOf(handle);
  delete of(handle);
  return file;
}

INT_PTR open(const char* utf8Name, int oflag) {
  if (std::strcmp(utf8Name, kMemoryName) == 0)
    return wrap(new Handle{Handle::Memory, INVALID_HANDLE_VALUE, memoryBytes(), 0});
  if (std::strcmp(utf8Name, kDiscardName) == 0)
    return wrap(new Handle{Handle::Discard, INVALID_HANDLE_VALUE, {}, 0});
  DWORD access = GENERIC_READ;
  if ((oflag & 3) == _O_WRONLY) access = GENERIC_WRITE;
  if ((oflag & 3) == _O_RDWR) access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if (oflag & _O_CREAT) {
    disposition = (oflag & _O_EXCL) ? CREATE_NEW : (oflag & _O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
  } else if (oflag & _O_TRUNC) {
    disposition = TRUNCATE_EXISTING;
  }
  const std::wstring name = pm::win32::widen(utf8Name);
  const HANDLE f = CreateFileW(name.c_str(), access, access == GENERIC_READ ? FILE_SHARE_READ : 0,
                               nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    fail(std::string("cannot open ") + utf8Name);
    return -1;
  }
  return wrap(new Handle{Handle::File, f, {}, 0});
}

UINT read(INT_PTR handle, void* buffer, UINT count) {
  Handle* h = of(handle);
  if (h->kind == Handle::Memory) {
    const std::size_t n = h->position >= h->bytes.size()
                              ? 0
                              : std::min<std::size_t>(count, h->bytes.size() - h->position);
    if (n) std::memcpy(buffer, h->bytes.data() + h->position, n);
    h->position += n;
    return static_cast<UINT>(n);
  }
  if (h->kind == Handle::Discard) return 0;
  DWORD got = 0;
  if (!ReadFile(h->file, buffer, count, &got, nullptr)) {
    fail("cannot read");
    return static_cast<UINT>(-1);
  }
  return got;
}

UINT write(INT_PTR handle, const void* buffer, UINT count) {
  Handle* h = of(handle);
  if (h->kind == Handle::Discard) return count;
  if (h->kind == Handle::Memory) return static_cast<UINT>(-1);
  DWORD put = 0;
  if (!WriteFile(h->file, buffer, count, &put, nullptr) || put != count) {
    fail("cannot write");
    return static_cast<UINT>(-1);
  }
  return put;
}

int close(INT_PTR handle) {
  Handle* h = of(handle);
  bool ok = true;
  if (h->kind == Handle::File && !CloseHandle(h->file)) {
    fail("cannot close");
    ok = false;
  }
  delete h;
  return ok ? 0 : -1;
}

long seek(INT_PTR handle, long distance, int origin) {
  Handle* h = of(handle);
  if (h->kind != Handle::File) {
    const long long base = origin == SEEK_SET   ? 0
                           : origin == SEEK_CUR ? static_cast<long long>(h->position)
                                                : static_cast<long long>(h->bytes.size());
    if (base + distance < 0) return -1;
    h->position = static_cast<std::size_t>(base + distance);
    return static_cast<long>(h->position);
  }
  const DWORD method = origin == SEEK_SET   ? FILE_BEGIN
                       : origin == SEEK_CUR ? FILE_CURRENT
                                            : FILE_END;
  LARGE_INTEGER move, now;
  move.QuadPart = distance;
  if (!SetFilePointerEx(h->file, move, &now, method) || now.QuadPart > 0x7FFFFFFF) return -1;
  return static_cast<long>(now.QuadPart);
}

bool fromDos(unsigned short date, unsigned short time, DateTime& out) {
  const int y = 1980 + (date >> 9), mo = (date >> 5) & 15, d = date & 31;
  const int h = time >> 11, mi = (time >> 5) & 63, s = (time & 31) * 2;
  if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return false;
  out = DateTime::fromCivil(y, mo, d, h, mi, s);
  return out.date() == CivilDate{y, mo, d};  // not 31 February and the like
}

void toDos(DateTime t, unsigned short& date, unsigned short& time) {
  // A cabinet holds 1980 to 2107; a time outside is stored as the nearest end.
  if (t < DateTime::fromCivil(1980, 1, 1)) t = DateTime::fromCivil(1980, 1, 1);
  if (t > DateTime::fromCivil(2107, 12, 31, 23, 59, 58))
    t = DateTime::fromCivil(2107, 12, 31, 23, 59, 58);
  const CivilDate d = t.date();
  date = static_cast<unsigned short>((d.year - 1980) << 9 | d.month << 5 | d.day);
  time = static_cast<unsigned short>(t.hour() << 11 | t.minute() << 5 | t.second() / 2);
}

}  // namespace pm::cabarc::win32files
