#include "tools/cabarc/cabinetWriter.h"

#include <fcntl.h>
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cstdio>
#include <ctime>
#include <system_error>

#include "platform/posix/posixFileSystem.h"

namespace pm::cabarc {
namespace fs = std::filesystem;
namespace {

// Owns one GObject reference.
template <typename T>
struct GRef {
  T* p = nullptr;
  GRef() = default;
  explicit GRef(T* q) : p(q) {}
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  ~GRef() {
    if (p) g_object_unref(p);
  }
  T* get() const { return p; }
};

struct GErrorHolder {
  GError* e = nullptr;
  ~GErrorHolder() {
    if (e) g_error_free(e);
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
  return g_date_time_new_utc(year, mon, day, h, mi, s);
}

}  // namespace

Status writeCabinet(const fs::path& hostCabinet, const std::vector<NewMember>& members,
                    Compression compression) {
  GRef<GCabCabinet> cabinet(gcab_cabinet_new());
  GRef<GCabFolder> folder(gcab_folder_new(
      compression == Compression::Mszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
  for (const NewMember& m : members) {
    std::string timeError;
    GDateTime* when = localTimeOf(m.hostFile, timeError);
    if (!when) return Status::failure(m.hostFile.string() + ": " + timeError);
    GRef<GFile> source(g_file_new_for_path(m.hostFile.c_str()));
    GRef<GCabFile> file(gcab_file_new_with_file(m.storedName.c_str(), source.get()));
    GErrorHolder err;
    const gboolean added = gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &err.e);
    // Set after adding: adding reads the file's details and would replace them.
    gcab_file_set_date_time(file.get(), when);
    // A program keeps its execute permission through the "executable" attribute.
    struct stat st {};
    if (::stat(m.hostFile.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0)
      gcab_file_set_attributes(file.get(),
                               gcab_file_get_attributes(file.get()) | GCAB_FILE_ATTRIBUTE_EXEC);
    g_date_time_unref(when);
    if (!added) return Status::failure(m.storedName + ": " + err.text());
  }
  {
    GErrorHolder err;
    if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &err.e))
      return Status::failure(err.text());
  }

  // Write beside the target and rename when complete. libgcab needs a seekable
  // stream; a GFileOutputStream made by an exclusive create is one.
  const fs::path dir = hostCabinet.parent_path();
  std::string tmpl = (dir / ".Cabarc-new-XXXXXX").string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return Status::failure("cannot create a file in " + dir.string());
  ::close(fd);
  const fs::path tmp = tmpl;
  ::unlink(tmp.c_str());
  GRef<GFile> target(g_file_new_for_path(tmp.c_str()));
  GErrorHolder createErr;
  GRef<GFileOutputStream> out(
      g_file_create(target.get(), G_FILE_CREATE_NONE, nullptr, &createErr.e));
  if (!out.get()) return Status::failure("cannot create " + tmp.string() + ": " + createErr.text());
  GErrorHolder err;
  bool ok = gcab_cabinet_write_simple(cabinet.get(), G_OUTPUT_STREAM(out.get()), nullptr, nullptr,
                                      nullptr, &err.e);
  std::string failure = ok ? std::string() : err.text();
  GErrorHolder closeErr;
  if (!g_output_stream_close(G_OUTPUT_STREAM(out.get()), nullptr, &closeErr.e) && ok) {
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
