// Reading cabinets through the system's cabinet library (FDI in cabinet.dll),
// loaded from the system folder at run time.
#include "tools/cabarc/cabinetReader.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <fdi.h>

#include <fcntl.h>

#include <cstdlib>
#include <utility>

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
  std::vector<std::string> warnings;
  std::span<const unsigned char> memory;
  bool inMemory = false;
  std::uint64_t declaredLength = 0;  // cbCabinet of the header

  // One pass of FDICopy: lists every member, or writes member `target`.
  enum class Mode { List, Extract } mode = Mode::List;
  std::size_t target = 0;
  std::wstring outName;  // empty: thrown away
  std::size_t seen = 0;
  bool done = false;
  Status written;

  static FNFDINOTIFY(notify) {
    auto* self = static_cast<Impl*>(pfdin->pv);
    switch (fdint) {
      case fdintCOPY_FILE:
        return self->copyFile(*pfdin);
      case fdintCLOSE_FILE_INFO: {
        self->done = true;
        if (files::close(pfdin->hf) != 0) {
          self->written = Status::failure(files::takeFailure());
          return FALSE;
        }
        return TRUE;
      }
      case fdintPARTIAL_FILE:
        self->warnings.push_back(std::string("a member continues from an earlier cabinet: ") +
                                 (pfdin->psz1 ? pfdin->psz1 : ""));
        return 0;
      case fdintNEXT_CABINET:
        return -1;  // sets of cabinets are not followed
      default:
        return 0;
    }
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
    if (done) return -1;  // the member is out: stop reading
    if (index != target) return 0;
    if (outName.empty()) return files::open(files::kDiscardName, 0);
    const INT_PTR h = files::createNew(outName);
    if (h == -1) written = Status::failure(files::takeFailure());
    return h;
  }

  // The cabinet's length as its header gives it (FDIIsCabinet's cbCabinet),
  // so that a file cut short behind whole headers can be told.
  void readDeclaredLength(HFDI fdi) {
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
    if (mode == Mode::List) readDeclaredLength(fdi);
    files::takeFailure();
    seen = 0;
    done = false;
    written = {};
    const BOOL ok = copy(fdi, name.data(), folder.data(), 0, notify, nullptr, this);
    const int oper = erf.erfOper;
    destroy(fdi);
    const std::string detail = files::takeFailure();
    if (!written.ok()) return written;
    if (ok || (mode == Mode::Extract && done && oper == FDIERROR_USER_ABORT)) {
      if (mode == Mode::Extract && !done) return Status::failure("the member was not found again");
      return {};
    }
    std::string message = describeFdiError(oper);
    if (!detail.empty()) message += " (" + detail + ")";
    return Status::failure(message);
  }
};

CabinetReader::CabinetReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CabinetReader::~CabinetReader() = default;
CabinetReader::CabinetReader(CabinetReader&&) noexcept = default;
CabinetReader& CabinetReader::operator=(CabinetReader&&) noexcept = default;

Result<CabinetReader> CabinetReader::openNamed(std::unique_ptr<Impl> impl, const std::string&) {
  if (Status s = impl->pass(); !s) return s;
  return CabinetReader(std::move(impl));
}

Result<CabinetReader> CabinetReader::open(const std::filesystem::path& hostFile) {
  auto impl = std::make_unique<Impl>();
  if (hostFile.has_parent_path()) impl->folder = utf8Of(hostFile.parent_path()) + "\\";
  impl->name = utf8Of(hostFile.filename());
  const std::string name = impl->name;
  return openNamed(std::move(impl), name);
}

Result<CabinetReader> CabinetReader::openMemory(std::span<const unsigned char> bytes) {
  auto impl = std::make_unique<Impl>();
  impl->name = win32files::kMemoryName;
  impl->memory = bytes;
  impl->inMemory = true;
  return openNamed(std::move(impl), win32files::kMemoryName);
}

const std::vector<CabinetMember>& CabinetReader::members() const {
  return impl_->members;
}

std::uint64_t CabinetReader::declaredLength() const {
  return impl_->declaredLength;
}

Status CabinetReader::extractNamed(std::size_t index, const std::string& outName) {
  impl_->mode = Impl::Mode::Extract;
  impl_->target = index;
  impl_->outName = pm::win32::widen(outName);
  Status s = impl_->pass();
  impl_->mode = Impl::Mode::List;
  return s;
}

Status CabinetReader::extract(std::size_t index, const std::filesystem::path& hostFile) {
  return extractNamed(index, utf8Of(hostFile));
}

Status CabinetReader::verify(std::size_t index) {
  return extractNamed(index, "");
}

std::vector<std::string> CabinetReader::takeWarnings() {
  return std::exchange(impl_->warnings, {});
}

}  // namespace pm::cabarc
