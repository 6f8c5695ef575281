#include "tools/cabarc/cabinetWriter.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/posix/posixFileSystem.h"

namespace pm::cabarc {
namespace fs = std::filesystem;
namespace {

// libgcab and the GLib and GIO it stands on are loaded when a cabinet is
// written, never at start-up: listing, testing and extraction need none of
// them, and loading them (sixteen libraries) would cost every run of the tool
// time and memory. Only the functions below are used.
struct Gcab {
  decltype(&g_object_unref) objectUnref;
  decltype(&g_error_free) errorFree;
  decltype(&g_date_time_new_utc) dateTimeNewUtc;
  decltype(&g_date_time_unref) dateTimeUnref;
  decltype(&g_file_new_for_path) fileForPath;
  decltype(&g_file_create) fileCreate;
  decltype(&g_output_stream_close) streamClose;
  decltype(&gcab_cabinet_new) cabinetNew;
  decltype(&gcab_folder_new) folderNew;
  decltype(&gcab_file_new_with_file) fileNew;
  decltype(&gcab_folder_add_file) folderAddFile;
  decltype(&gcab_file_set_date_time) setDateTime;
  decltype(&gcab_file_get_attributes) getAttributes;
  decltype(&gcab_file_set_attributes) setAttributes;
  decltype(&gcab_cabinet_add_folder) cabinetAddFolder;
  decltype(&gcab_cabinet_write_simple) writeSimple;
};

template <typename F>
bool bind(void* lib, const char* name, F& f) {
  f = reinterpret_cast<F>(::dlsym(lib, name));
  return f != nullptr;
}

// The library from the system's library path (as the linker would find it),
// loaded once; the message says what is missing.
Result<const Gcab*> loadGcab() {
  static Gcab api;
  static std::string failure;
  static const bool loaded = [] {
    void* lib = ::dlopen("libgcab-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = ::dlerror();
      failure = "the cabinet library libgcab cannot be loaded: " + std::string(why ? why : "");
      return false;
    }
    const bool all = bind(lib, "g_object_unref", api.objectUnref) &&
                     bind(lib, "g_error_free", api.errorFree) &&
                     bind(lib, "g_date_time_new_utc", api.dateTimeNewUtc) &&
                     bind(lib, "g_date_time_unref", api.dateTimeUnref) &&
                     bind(lib, "g_file_new_for_path", api.fileForPath) &&
                     bind(lib, "g_file_create", api.fileCreate) &&
                     bind(lib, "g_output_stream_close", api.streamClose) &&
                     bind(lib, "gcab_cabinet_new", api.cabinetNew) &&
                     bind(lib, "gcab_folder_new", api.folderNew) &&
                     bind(lib, "gcab_file_new_with_file", api.fileNew) &&
                     bind(lib, "gcab_folder_add_file", api.folderAddFile) &&
                     bind(lib, "gcab_file_set_date_time", api.setDateTime) &&
                     bind(lib, "gcab_file_get_attributes", api.getAttributes) &&
                     bind(lib, "gcab_file_set_attributes", api.setAttributes) &&
                     bind(lib, "gcab_cabinet_add_folder", api.cabinetAddFolder) &&
                     bind(lib, "gcab_cabinet_write_simple", api.writeSimple);
    if (!all) failure = "the cabinet library libgcab lacks a function Cabarc needs";
    return all;
  }();
  if (!loaded) return Status::failure(failure);
  return &api;
}

const Gcab* gcab = nullptr;  // set by writeCabinet before any use

// Owns one GObject reference.
template <typename T>
struct GRef {
  T* p = nullptr;
  GRef() = default;
  explicit GRef(T* q) : p(q) {}
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  ~GRef() {
    if (p) gcab->objectUnref(p);
  }
  T* get() const { return p; }
};

struct GErrorHolder {
  GError* e = nullptr;
  ~GErrorHolder() {
    if (e) gcab->errorFree(e);
  }
  std::string text() const { return e && e->message ? e->message : "unknown error"; }
};

// The file's modification time as a local civil date-time; cabinets cannot hold
// dates before 1980 or after 2107, so such times are pinned to the nearest end.
GDateTime* localTimeOf(const fs::path& host, std::string& error) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    error = "cannot read its modification time";
    return nullptr;
  }
  const DateTime local = posix::fromHostTime(st.st_mtim.tv_sec);
  const CivilDate date = local.date();
  int year = date.year;
  int mon = date.month, day = date.day, h = local.hour(), mi = local.minute(), s = local.second();
  if (year < 1980) {
    year = 1980, mon = 1, day = 1, h = 0, mi = 0, s = 0;
  } else if (year > 2107) {
    year = 2107, mon = 12, day = 31, h = 23, mi = 59, s = 58;
  }
  // A UTC-zoned value carrying the local wall-clock fields: libgcab stores the
  // fields as they are, and cabinet times are local times.
  return gcab->dateTimeNewUtc(year, mon, day, h, mi, s);
}

}  // namespace

Status writeCabinet(const std::string& hostCabinet, const std::vector<NewMember>& members,
                    Compression compression) {
  const auto api = loadGcab();
  if (!api) return api.status();
  gcab = api.value();
  GRef<GCabCabinet> cabinet(gcab->cabinetNew());
  GRef<GCabFolder> folder(gcab->folderNew(
      compression == Compression::Mszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
  for (const NewMember& m : members) {
    std::string timeError;
    GDateTime* when = localTimeOf(m.hostFile, timeError);
    if (!when) return Status::failure(m.hostFile + ": " + timeError);
    GRef<GFile> source(gcab->fileForPath(m.hostFile.c_str()));
    GRef<GCabFile> file(gcab->fileNew(m.storedName.c_str(), source.get()));
    GErrorHolder err;
    const gboolean added = gcab->folderAddFile(folder.get(), file.get(), FALSE, nullptr, &err.e);
    // Set after adding: adding reads the file's details and would replace them.
    gcab->setDateTime(file.get(), when);
    // A program keeps its execute permission through the "executable" attribute.
    struct stat st {};
    if (::stat(m.hostFile.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0)
      gcab->setAttributes(file.get(), gcab->getAttributes(file.get()) | GCAB_FILE_ATTRIBUTE_EXEC);
    gcab->dateTimeUnref(when);
    if (!added) return Status::failure(m.storedName + ": " + err.text());
  }
  {
    GErrorHolder err;
    if (!gcab->cabinetAddFolder(cabinet.get(), folder.get(), &err.e))
      return Status::failure(err.text());
  }

  // Write beside the target and rename when complete. libgcab needs a seekable
  // stream; a GFileOutputStream made by an exclusive create is one.
  const fs::path dir = fs::path(hostCabinet).parent_path();
  std::string tmpl = (dir / ".Cabarc-new-XXXXXX").string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return Status::failure("cannot create a file in " + dir.string());
  ::close(fd);
  const fs::path tmp = tmpl;
  ::unlink(tmp.c_str());
  GRef<GFile> target(gcab->fileForPath(tmp.c_str()));
  GErrorHolder createErr;
  GRef<GFileOutputStream> out(
      gcab->fileCreate(target.get(), G_FILE_CREATE_NONE, nullptr, &createErr.e));
  if (!out.get()) return Status::failure("cannot create " + tmp.string() + ": " + createErr.text());
  GErrorHolder err;
  bool ok = gcab->writeSimple(cabinet.get(), reinterpret_cast<GOutputStream*>(out.get()), nullptr,
                              nullptr, nullptr, &err.e);
  std::string failure = ok ? std::string() : err.text();
  GErrorHolder closeErr;
  if (!gcab->streamClose(reinterpret_cast<GOutputStream*>(out.get()), nullptr, &closeErr.e) && ok) {
    ok = false;
    failure = closeErr.text();
  }
  if (ok) {
    // On disk before it takes the cabinet's name.
    const int sync = ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC);
    if (sync < 0 || ::fsync(sync) != 0) {
      ok = false;
      failure = "cannot flush the new cabinet to disk";
    }
    if (sync >= 0) ::close(sync);
  }
  std::error_code ec;
  if (ok) {
    fs::rename(tmp, hostCabinet, ec);
    if (!ec) return {};
    failure = "cannot rename the new cabinet into place: " + ec.message();
  }
  fs::remove(tmp, ec);
  return Status::failure(failure);
}

}  // namespace pm::cabarc
