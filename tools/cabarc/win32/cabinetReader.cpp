// Reading cabinets through the system's cabinet library (FDI in cabinet.dll),
// loaded from the system folder at run time.
#include "tools/cabarc/cabinetReader.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <fdi.h>

#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/win32/systemLibrary.h"
#include "platform/win32/wideText.h"
#include "tools/cabarc/cabinetSet.h"
#include "tools/cabarc/hostFiles.h"
#include "tools/cabarc/win32/cabinetFiles.h"
#include "tools/cabarc/win32/memberFiles.h"

namespace pm::cabarc {
namespace {

namespace files = win32files;

pm::win32::SystemLibrary& cabinetDll() {
  static pm::win32::SystemLibrary dll(L"cabinet.dll");
  return dll;
}

FNALLOC(fdiAlloc) {
  return std::malloc(cb);
}
FNFREE(fdiFree) {
  std::free(pv);
}
FNOPEN(fdiOpen) {
  (void)pmode;
  return files::open(pszFile, oflag);
}
FNREAD(fdiRead) {
  return files::read(hf, pv, cb);
}
FNWRITE(fdiWrite) {
  return files::write(hf, pv, cb);
}
FNCLOSE(fdiClose) {
  return files::close(hf);
}
FNSEEK(fdiSeek) {
  return files::seek(hf, dist, seektype);
}

std::string describeFdiError(int code) {
  switch (code) {
    case FDIERROR_CABINET_NOT_FOUND:
      return "cannot open the file";
    case FDIERROR_NOT_A_CABINET:
      return "not a cabinet file";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
      return "unknown cabinet version";
    case FDIERROR_CORRUPT_CABINET:
      return "the cabinet is damaged or truncated";
    case FDIERROR_ALLOC_FAIL:
      return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE:
      return "unsupported compression method";
    case FDIERROR_MDI_FAIL:
      return "the compressed data is damaged (checksum mismatch or bad data)";
    case FDIERROR_TARGET_FILE:
      return "cannot write the file";
    case FDIERROR_RESERVE_MISMATCH:
      return "the cabinet's reserved fields are damaged";
    case FDIERROR_WRONG_CABINET:
      return "the next cabinet of the set is the wrong one";
    default:
      return "cabinet library error " + std::to_string(code);
  }
}

}  // namespace

struct CabinetReader::Impl {
  std::string folder;  // UTF-8, with its trailing separator, or empty
  std::string name;
  std::vector<CabinetMember> members;
  std::vector<std::uint32_t> folders;  // each member's folder index as stored ("" when unread)
  std::vector<std::string> warnings;
  std::span<const unsigned char> memory;
  std::uint64_t declaredLength = 0;  // cbCabinet of the header

  // One pass of FDICopy: lists every member, or hands the members still
  // wanted to the sink as they come.
  enum class Mode { List, Extract } mode = Mode::List;
  ExtractionSink* sink = nullptr;
  std::vector<bool> wanted;  // Extract: still to be done
  std::size_t seen = 0;      // members notified in this pass
  // The member being written (its file open), and the one whose file FDI has
  // closed: whether that one is complete shows only by what comes next.
  std::optional<std::size_t> active, closed;
  INT_PTR activeFile = -1;
  // The file of `closed`, still open: the sink moves it into place through its
  // handle in end() (no second open by name), and it is closed after that.
  HANDLE closedFile = INVALID_HANDLE_VALUE;
  std::string closeFailure;
  bool ioFault = false;  // the last pass failed in a read or write of ours

  static FNFDINOTIFY(notify) {
    auto* self = static_cast<Impl*>(pfdin->pv);
    switch (fdint) {
      case fdintCOPY_FILE:
        return self->copyFile(*pfdin);
      case fdintPARTIAL_FILE:
        return self->partialFile(*pfdin);
      case fdintCLOSE_FILE_INFO: {
        const HANDLE native = files::nativeOf(pfdin->hf);
        if (self->active && native != INVALID_HANDLE_VALUE) {
          self->sink->written(*self->active, reinterpret_cast<OutputHandle>(native));
          self->closedFile = files::release(pfdin->hf);
        } else if (files::close(pfdin->hf) != 0) {
          self->closeFailure = files::takeFailure();
        }
        self->closed = std::exchange(self->active, std::nullopt);
        self->activeFile = -1;
        return TRUE;
      }
      case fdintNEXT_CABINET:
        return -1;  // never needed: members that go on in the next cabinet are not begun
      default:
        return 0;
    }
  }

  // The member FDI closed last is complete: its successor has come, or the pass ended well.
  void finishClosed() {
    if (!closed) return;
    const std::size_t i = *std::exchange(closed, std::nullopt);
    sink->end(i, closeFailure.empty() ? Status() : Status::failure(closeFailure));
    closeFailure.clear();
    // In place, or marked to go when it is closed: nothing waits for the close.
    if (closedFile != INVALID_HANDLE_VALUE)
      closeMemberLater(std::exchange(closedFile, INVALID_HANDLE_VALUE));
  }

  void closeKept() {
    if (closedFile != INVALID_HANDLE_VALUE)
      CloseHandle(std::exchange(closedFile, INVALID_HANDLE_VALUE));
  }

  // A member not whole in this cabinet, wanted: reported, never begun.
  void refuseNotWhole(std::size_t index) {
    wanted[index] = false;
    sink->end(index, Status::failure(notWholeReason(members[index].elsewhere)));
  }

  INT_PTR partialFile(const FDINOTIFICATION& n) {
    const std::size_t index = seen++;
    if (mode == Mode::List) {
      CabinetMember m;
      m.name = n.psz1 ? pm::win32::ansiToUtf8(n.psz1) : "";
      m.elsewhere = n.psz2 && *n.psz2 ? n.psz2 : "the previous cabinet";
      members.push_back(std::move(m));
      return 0;
    }
    finishClosed();
    if (index < wanted.size() && wanted[index]) refuseNotWhole(index);
    return 0;
  }

  INT_PTR copyFile(const FDINOTIFICATION& n) {
    const std::size_t index = seen++;
    if (mode == Mode::List) {
      CabinetMember m;
      const char* raw = n.psz1 ? n.psz1 : "";
      m.name = (n.attribs & _A_NAME_IS_UTF) ? std::string(raw) : pm::win32::ansiToUtf8(raw);
      m.size = static_cast<std::uint32_t>(n.cb);
      DateTime t;
      if (files::fromDos(n.date, n.time, t)) m.time = t;
      m.attributes = n.attribs;
      members.push_back(std::move(m));
      return 0;
    }
    finishClosed();
    if (index >= wanted.size() || !wanted[index]) return 0;
    if (!members[index].elsewhere.empty()) {
      refuseNotWhole(index);
      return 0;
    }
    wanted[index] = false;
    const OutputHandle out = sink->begin(index);
    if (out == kSkipMember) return 0;
    const INT_PTR h = out == kDiscardMember ? files::open(files::kDiscardName, 0)
                                            : files::adopt(reinterpret_cast<HANDLE>(out));
    active = index;
    activeFile = h;
    return h;
  }

  // The cabinet's length as its header gives it (FDIIsCabinet's cbCabinet),
  // so that a file cut short behind whole headers can be told.
  void readHeader(HFDI fdi) {
    using IsCabinet = decltype(&FDIIsCabinet);
    const auto isCabinet = cabinetDll().function<IsCabinet>("FDIIsCabinet");
    if (!isCabinet) return;
    const INT_PTR h = files::open((folder + name).c_str(), _O_RDONLY);
    if (h == -1) return;
    FDICABINETINFO info{};
    if (isCabinet(fdi, h, &info) && info.cbCabinet > 0)
      declaredLength = static_cast<std::uint64_t>(info.cbCabinet);
    files::close(h);
  }

  // Which members another cabinet of the set holds part of, and every
  // member's folder, from the headers.
  void readSet() {
    const INT_PTR h = files::open((folder + name).c_str(), _O_RDONLY);
    if (h == -1) return;
    const auto set = readCabinetSet([h](void* to, std::size_t n) -> std::size_t {
      const UINT got = files::read(h, to, static_cast<UINT>(n));
      return got == static_cast<UINT>(-1) ? 0 : got;
    });
    files::close(h);
    files::takeFailure();
    if (!set || set->elsewhere.size() != members.size()) return;
    folders = set->folders;
    for (std::size_t i = 0; i < members.size(); ++i)
      if (members[i].elsewhere.empty()) members[i].elsewhere = set->elsewhere[i];
  }

  // One FDICopy; the message of its failure, if it failed.
  Status pass() {
    if (Status s = cabinetDll().load(); !s) return s;
    using Create = decltype(&FDICreate);
    using Copy = decltype(&FDICopy);
    using Destroy = decltype(&FDIDestroy);
    const auto create = cabinetDll().function<Create>("FDICreate");
    const auto copy = cabinetDll().function<Copy>("FDICopy");
    const auto destroy = cabinetDll().function<Destroy>("FDIDestroy");
    if (!create || !copy || !destroy) return Status::failure("cabinet.dll lacks FDI");
    ERF erf{};
    HFDI fdi =
        create(fdiAlloc, fdiFree, fdiOpen, fdiRead, fdiWrite, fdiClose, fdiSeek, cpuUNKNOWN, &erf);
    if (!fdi) return Status::failure("the cabinet library could not start");
    files::memoryBytes() = memory;
    if (mode == Mode::List) readHeader(fdi);
    files::takeFailure();
    seen = 0;
    const BOOL ok = copy(fdi, name.data(), folder.data(), 0, notify, nullptr, this);
    const int oper = erf.erfOper;
    destroy(fdi);
    const std::string detail = files::takeFailure();
    ioFault = !detail.empty();
    if (ok) return {};
    // A read or write of ours that failed says more than FDI's code for it.
    return Status::failure(ioFault ? detail : describeFdiError(oper));
  }

  // Extraction in as few passes as the cabinet allows: one, unless a member
  // fails, when the next pass goes on after it.
  void extractEach(const std::vector<std::size_t>& picked, ExtractionSink& to) {
    sink = &to;
    wanted.assign(members.size(), false);
    for (const std::size_t i : picked)
      if (i < wanted.size()) wanted[i] = true;
    mode = Mode::Extract;
    for (;;) {
      const auto before = std::count(wanted.begin(), wanted.end(), true);
      if (before == 0) break;
      Status s = pass();
      if (s) {
        finishClosed();
        break;
      }
      const bool dataFault = !ioFault;
      // The member under way when FDI gave up failed; a data fault fails the
      // rest of its folder too, as decompressing it again would.
      std::optional<std::size_t> failed = active ? active : closed;
      if (active && activeFile != -1) files::close(activeFile);
      closeKept();  // a failed member's file is closed before the sink removes it
      if (!closeFailure.empty() && !dataFault) s = Status::failure(closeFailure);
      active.reset(), closed.reset(), activeFile = -1, closeFailure.clear();
      if (failed) {
        sink->end(*failed, s);
        if (dataFault && *failed < folders.size()) {
          for (std::size_t i = *failed + 1; i < members.size(); ++i) {
            if (wanted[i] && i < folders.size() && folders[i] == folders[*failed]) {
              wanted[i] = false;
              sink->end(i, s);
            }
          }
        }
      }
      // Nothing that can be begun again: the rest fails with the same message.
      if (!failed || std::count(wanted.begin(), wanted.end(), true) >= before) {
        for (std::size_t i = 0; i < wanted.size(); ++i) {
          if (!wanted[i]) continue;
          wanted[i] = false;
          sink->end(i, s);
        }
        break;
      }
    }
    closeKept();
    closeMembersNow();  // the extracted files are closed when the extraction returns
    mode = Mode::List;
    sink = nullptr;
  }
};

CabinetReader::CabinetReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CabinetReader::~CabinetReader() = default;
CabinetReader::CabinetReader(CabinetReader&&) noexcept = default;
CabinetReader& CabinetReader::operator=(CabinetReader&&) noexcept = default;

Result<CabinetReader> CabinetReader::openNamed(std::unique_ptr<Impl> impl, const std::string&) {
  if (Status s = impl->pass(); !s) return s;
  // The folder of each member serves extraction; the set's neighbours, the messages.
  impl->readSet();
  return CabinetReader(std::move(impl));
}

Result<CabinetReader> CabinetReader::open(const std::string& hostFile) {
  auto impl = std::make_unique<Impl>();
  if (const std::string parent = hostParent(hostFile); !parent.empty())
    impl->folder = parent + "\\";
  impl->name = hostName(hostFile);
  const std::string name = impl->name;
  return openNamed(std::move(impl), name);
}

Result<CabinetReader> CabinetReader::openMemory(std::span<const unsigned char> bytes) {
  auto impl = std::make_unique<Impl>();
  impl->name = win32files::kMemoryName;
  impl->memory = bytes;
  return openNamed(std::move(impl), win32files::kMemoryName);
}

const std::vector<CabinetMember>& CabinetReader::members() const {
  return impl_->members;
}

std::uint64_t CabinetReader::declaredLength() const {
  return impl_->declaredLength;
}

void CabinetReader::extractEach(const std::vector<std::size_t>& wanted, ExtractionSink& sink) {
  impl_->extractEach(wanted, sink);
}

std::vector<std::string> CabinetReader::takeWarnings() {
  return std::exchange(impl_->warnings, {});
}

}  // namespace pm::cabarc
