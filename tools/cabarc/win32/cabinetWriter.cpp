// Writing cabinets through the system's cabinet library (FCI in cabinet.dll),
// loaded from the system folder at run time: one folder, MSZIP or stored.
#include "tools/cabarc/cabinetWriter.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <fci.h>

#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "tools/cabarc/hostFiles.h"
#include "tools/cabarc/win32/cabinetFiles.h"

namespace pm::cabarc {
namespace {

namespace files = win32files;

pm::win32::SystemLibrary& cabinetDll() {
  static pm::win32::SystemLibrary dll(L"cabinet.dll");
  return dll;
}

// What the callbacks share: the folder for temporary files and the first
// failure of a source file.
struct Session {
  std::string folder;  // UTF-8, with its trailing separator, or empty
  unsigned counter = 0;
  std::string sourceFailure;
  bool utf8Name = false;  // the member being added has a name beyond ASCII
};

FNFCIALLOC(fciAlloc) {
  return std::malloc(cb);
}
FNFCIFREE(fciFree) {
  std::free(memory);
}
FNFCIOPEN(fciOpen) {
  (void)pmode;
  (void)pv;
  const INT_PTR h = files::open(pszFile, oflag);
  if (h == -1) *err = static_cast<int>(GetLastError());
  return h;
}
FNFCIREAD(fciRead) {
  (void)pv;
  const UINT n = files::read(hf, memory, cb);
  if (n == static_cast<UINT>(-1)) *err = static_cast<int>(GetLastError());
  return n;
}
FNFCIWRITE(fciWrite) {
  (void)pv;
  const UINT n = files::write(hf, memory, cb);
  if (n != cb) *err = static_cast<int>(GetLastError());
  return n;
}
FNFCICLOSE(fciClose) {
  (void)pv;
  const int r = files::close(hf);
  if (r != 0) *err = static_cast<int>(GetLastError());
  return r;
}
FNFCISEEK(fciSeek) {
  (void)pv;
  const long r = files::seek(hf, dist, seektype);
  if (r == -1) *err = static_cast<int>(GetLastError());
  return r;
}
FNFCIDELETE(fciDelete) {
  (void)pv;
  if (DeleteFileW(pm::win32::widen(pszFile).c_str())) return 0;
  *err = static_cast<int>(GetLastError());
  return -1;
}
FNFCIGETTEMPFILE(fciTempFile) {
  auto* s = static_cast<Session*>(pv);
  const std::string name = s->folder + ".Cabarc-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++s->counter) + ".fci";
  if (name.size() + 1 > static_cast<std::size_t>(cbTempName)) return FALSE;
  std::memcpy(pszTempName, name.c_str(), name.size() + 1);
  return TRUE;
}
FNFCIFILEPLACED(fciPlaced) {
  (void)pccab, (void)pszFile, (void)cbFile, (void)fContinuation, (void)pv;
  return 0;
}
FNFCIGETNEXTCABINET(fciNextCabinet) {
  (void)pccab, (void)cbPrevCab, (void)pv;
  return FALSE;  // one cabinet, never a set
}
FNFCISTATUS(fciStatus) {
  (void)typeStatus, (void)cb1, (void)cb2, (void)pv;
  return 0;
}

// The source file, its local modification time and its attributes.
FNFCIGETOPENINFO(fciOpenInfo) {
  auto* s = static_cast<Session*>(pv);
  const std::wstring name = pm::win32::widen(pszName);
  WIN32_FILE_ATTRIBUTE_DATA data;
  SYSTEMTIME utc, local;
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    s->sourceFailure =
        std::string("cannot read ") + pszName + ": " + pm::win32::errorMessage(GetLastError());
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  files::toDos(DateTime::fromCivil(local.wYear, local.wMonth, local.wDay, local.wHour,
                                   local.wMinute, local.wSecond),
               *pdate, *ptime);
  const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                     FILE_ATTRIBUTE_ARCHIVE;
  *pattribs =
      static_cast<USHORT>((data.dwFileAttributes & kept) | (s->utf8Name ? _A_NAME_IS_UTF : 0));
  const INT_PTR h = files::open(pszName, 0);
  if (h == -1) {
    s->sourceFailure = files::takeFailure();
    *err = static_cast<int>(GetLastError());
  }
  return h;
}

bool isProgram(const std::string& name) {
  const std::string lower = toLower(name);
  for (const char* ext : {".exe", ".com", ".bat", ".cmd"})
    if (lower.ends_with(ext)) return true;
  return false;
}

bool isAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string describeFciError(int code) {
  switch (code) {
    case FCIERR_OPEN_SRC:
      return "cannot open a file to add";
    case FCIERR_READ_SRC:
      return "cannot read a file to add";
    case FCIERR_ALLOC_FAIL:
      return "out of memory";
    case FCIERR_TEMP_FILE:
      return "cannot write a temporary file";
    case FCIERR_BAD_COMPR_TYPE:
      return "unsupported compression type";
    case FCIERR_CAB_FILE:
      return "cannot write the cabinet file";
    case FCIERR_MCI_FAIL:
      return "compression failed";
    default:
      return "cabinet library error " + std::to_string(code);
  }
}

}  // namespace

Status writeCabinet(const std::string& hostCabinet, const std::vector<NewMember>& members,
                    Compression compression) {
  if (Status s = cabinetDll().load(); !s) return s;
  const auto create = cabinetDll().function<decltype(&FCICreate)>("FCICreate");
  const auto add = cabinetDll().function<decltype(&FCIAddFile)>("FCIAddFile");
  const auto flush = cabinetDll().function<decltype(&FCIFlushCabinet)>("FCIFlushCabinet");
  const auto destroy = cabinetDll().function<decltype(&FCIDestroy)>("FCIDestroy");
  if (!create || !add || !flush || !destroy) return Status::failure("cabinet.dll lacks FCI");

  Session session;
  if (const std::string parent = hostParent(hostCabinet); !parent.empty())
    session.folder = parent + "\\";
  // Written under a temporary name beside the cabinet and moved over it when
  // complete, so a failure leaves an earlier cabinet of that name as it was.
  const std::string tmpName = ".Cabarc-" + std::to_string(GetCurrentProcessId()) + "-new.cab";
  CCAB ccab{};
  if (session.folder.size() >= sizeof ccab.szCabPath)
    return Status::failure("the cabinet's folder name is too long for the cabinet library");
  ccab.cb = 0x7FFFFFFF;
  ccab.cbFolderThresh = 0x7FFFFFFF;
  ccab.setID = 0;
  std::memcpy(ccab.szCabPath, session.folder.c_str(), session.folder.size() + 1);
  std::memcpy(ccab.szCab, tmpName.c_str(), tmpName.size() + 1);
  const std::wstring tmpPath = pm::win32::widen(session.folder + tmpName);

  ERF erf{};
  HFCI fci = create(&erf, fciPlaced, fciAlloc, fciFree, fciOpen, fciRead, fciWrite, fciClose,
                    fciSeek, fciDelete, fciTempFile, &ccab, &session);
  if (!fci)
    return Status::failure("the cabinet library could not start: " + describeFciError(erf.erfOper));
  files::takeFailure();
  const TCOMP type = compression == Compression::Mszip ? tcompTYPE_MSZIP : tcompTYPE_NONE;
  Status result;
  for (const auto& m : members) {
    std::string source = m.hostFile;
    // Stored names are UTF-8; beyond ASCII the member's attribute says so.
    std::string stored = m.storedName;
    session.utf8Name = !isAscii(stored);
    if (!add(fci, source.data(), stored.data(), isProgram(stored), fciNextCabinet, fciStatus,
             fciOpenInfo, type)) {
      std::string detail =
          session.sourceFailure.empty() ? files::takeFailure() : session.sourceFailure;
      result = Status::failure("cannot add " + m.storedName + ": " + describeFciError(erf.erfOper) +
                               (detail.empty() ? "" : " (" + detail + ")"));
      break;
    }
  }
  if (result && !flush(fci, FALSE, fciNextCabinet, fciStatus)) {
    const std::string detail = files::takeFailure();
    result = Status::failure(describeFciError(erf.erfOper) +
                             (detail.empty() ? "" : " (" + detail + ")"));
  }
  destroy(fci);
  if (result) {
    // On disk before it takes the cabinet's name.
    const HANDLE h = CreateFileW(tmpPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!flushed)
      result =
          Status::failure("cannot flush the cabinet: " + pm::win32::errorMessage(GetLastError()));
  }
  bool taken = false;
  if (result) result = moveInto(session.folder + tmpName, hostCabinet, true, taken);
  if (!result) DeleteFileW(tmpPath.c_str());
  return result;
}

}  // namespace pm::cabarc
