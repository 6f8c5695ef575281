#include "tools/pmpack/pmpack.h"

#include <algorithm>
#include <chrono>
#include <fstream>

#include "packages/cabinet.h"
#include "packages/seal.h"
#include "packages/sha256.h"
#include "platform/text.h"
#include "tools/pmpack/host.h"

namespace pm::pmpack {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: PMPack [--windows PROGRAM_FOLDER | --programs PROGRAM_FOLDER] [--cabarc CABARC]\n"
    "              [--replace] RELEASE_DESCRIPTION INSTALLER_FOLDER\n"
    "  Builds INSTALLER_FOLDER from the release description: Pelmora.CAB, PLMLibrary.CAB\n"
    "  and PLMHelp.CAB (MSZIP, each with its list file), Eula.txt, the programs and\n"
    "  the seal PMSetup.sha256 (sha256sum -c reads it).\n"
    "  --windows       ship the Windows programs (PMSetup.exe, PMSetupUnattended.exe,\n"
    "                  Cabarc.exe) of a Windows build's program folder\n"
    "  --programs      take this platform's programs from another folder (default:\n"
    "                  PMPack's own)\n"
    "  --cabarc        the Cabarc that makes the cabinets (default: the one beside PMPack)\n"
    "  --replace       replace an existing INSTALLER_FOLDER\n"
    "  SOURCE_DATE_EPOCH, when set, dates every member (in UTC).\n"
    "  Exit codes: 0 built, 1 the release has errors (each named with its file and\n"
    "  line), 64 bad command line.\n";

// The head of a cabinet that holds its member table (seal.h).
constexpr std::size_t kTableBytes = 24 * 1024 * 1024;

// Where a cabinet's section begins, for messages.
std::string at(const Release& r, const CabinetPlan& c) {
  return r.fileName + ":" + std::to_string(c.line) + ": ";
}

struct Failed {
  std::string message;
};

void check(bool ok, const std::string& message) {
  if (!ok) throw Failed{message};
}

// Reads a host file a block at a time: its SHA-256, and its first bytes.
std::string hostSha256(const fs::path& file, std::string* head = nullptr) {
  std::ifstream in(file, std::ios::binary);
  check(bool(in), utf8(file) + ": cannot be read");
  Sha256 sha;
  std::string block(1 << 16, '\0');
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    sha.update(std::string_view(block.data(), got));
    if (head && head->size() < kTableBytes)
      head->append(block, 0, std::min(got, kTableBytes - head->size()));
  }
  check(in.eof(), utf8(file) + ": cannot be read");
  return sha.hex();
}

// Copies a file with its permissions (a program stays executable) and gives
// it the time it should carry.
void place(const fs::path& from, const fs::path& to, std::optional<fs::file_time_type> when) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  check(!ec, "cannot copy " + utf8(from) + " to " + utf8(to) + ": " + ec.message());
  fs::permissions(to, fs::status(from).permissions() | fs::perms::owner_write, ec);
  fs::last_write_time(to, when ? *when : fs::last_write_time(from, ec), ec);
  check(!ec, "cannot date " + utf8(to) + ": " + ec.message());
}

std::optional<fs::file_time_type> sourceDateEpoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return std::nullopt;
  const std::string s = text;
  check(s.size() < 12 && s.find_first_not_of("0123456789") == std::string::npos,
        "SOURCE_DATE_EPOCH must be a number of seconds, not \"" + s + "\"");
  // Cabinets keep local times: in UTC the same epoch gives the same bytes anywhere.
  setEnvironment("TZ", "UTC0");
  return std::chrono::file_clock::from_sys(
      std::chrono::sys_seconds(std::chrono::seconds(std::stoll(s))));
}

void makeCabinet(const Release& r, const CabinetPlan& c, const Options& o, const fs::path& stage,
                 const fs::path& folder, std::optional<fs::file_time_type> when,
                 std::ostream& progress) {
  const fs::path dir = stage / c.listFile;
  fs::create_directories(dir);
  std::vector<std::string> args{"-m", "MSZIP", "N", utf8(folder / c.name), c.listFile};
  std::uintmax_t bytes = 0;
  std::size_t installed = 0;
  for (const Member& m : c.members) {
    place(m.source, dir / hostPath(m.name), when);
    args.push_back(m.name);
    bytes += fs::file_size(m.source);
    installed += m.install ? 1 : 0;
  }
  const std::string list = listText(c);
  {
    std::ofstream out(dir / c.listFile, std::ios::binary);
    out << list;
    check(bool(out.flush()), utf8(dir / c.listFile) + ": cannot be written");
  }
  // The list is as new as the newest file it goes with (the agreement's time
  // in a cabinet without files): a function of the files, as the rest is.
  std::error_code ec;
  fs::file_time_type newest = fs::last_write_time(r.agreement, ec);
  if (!c.members.empty()) newest = fs::file_time_type::min();
  for (const Member& m : c.members) newest = std::max(newest, fs::last_write_time(m.source));
  fs::last_write_time(dir / c.listFile, when ? *when : newest, ec);

  std::string error;
  const int code = runProgram(o.cabarc, args, dir, error);
  check(code == 0, at(r, c) + "Cabarc could not make " + c.name +
                       (code < 0 ? ": " + error : " (exit code " + std::to_string(code) + ")"));
  // What the cabinet holds, as its own table says: every list line must be there.
  std::string head;
  hostSha256(folder / c.name, &head);
  const auto entries = cabinetEntries(head);
  check(bool(entries), at(r, c) + c.name + ": " + entries.message());
  const auto holds = [&](const std::string& name) {
    return std::any_of(entries->begin(), entries->end(),
                       [&](const CabinetEntry& e) { return equalsIgnoreCase(e.name, name); });
  };
  check(holds(c.listFile), at(r, c) + c.name + " does not hold its list " + c.listFile);
  for (const std::string& line : splitLines(list)) {
    check(holds(listLineName(line)),
          at(r, c) + c.listFile + " names " + line + ", which " + c.name + " does not hold");
  }
  progress << "PMPack: " << c.name << ": " << c.listFile << " and " << c.members.size()
           << (c.members.size() == 1 ? " file (" : " files (") << installed << " installed), "
           << bytes << " bytes" << std::endl;
}

}  // namespace

const std::vector<std::string>& shippedPrograms(bool windows) {
  static const std::vector<std::string> win{"PMSetup.exe", "PMSetupUnattended.exe", "Cabarc.exe"};
  static const std::vector<std::string> posix{"PMSetup", "PMSetupUnattended", "Cabarc", "regsvr32",
                                              "VBRun60"};
  return windows ? win : posix;
}

Status buildInstallerFolder(const Release& r, const Options& o, std::ostream& progress) {
  fs::path output = fs::weakly_canonical(fs::absolute(o.output));
  if (output.filename().empty()) output = output.parent_path();  // "out/setup/"
  const fs::path partial =
      output.parent_path() / ("." + utf8(output.filename()) + ".pmpack-partial");
  std::error_code ec;
  try {
    const auto when = sourceDateEpoch();
    check(o.replace || !fs::exists(output, ec),
          utf8(output) + " exists already; remove it or give --replace");
    // --replace replaces only what PMPack made (or an empty folder): never the
    // release folder itself, nor a folder that holds it.
    const fs::path release = fs::weakly_canonical(fs::absolute(o.description)).parent_path();
    const auto [end, _] =
        std::mismatch(output.begin(), output.end(), release.begin(), release.end());
    check(end != output.end(), utf8(output) + " holds the release; choose another folder");
    check(!fs::exists(output, ec) || fs::is_empty(output, ec) || fs::exists(output / kSealFile, ec),
          utf8(output) + " is not an installer folder that PMPack made; it is left alone");
    for (const std::string& p : shippedPrograms(o.windows)) {
      check(fs::is_regular_file(o.programs / p, ec),
            "the program " + p + " is missing from " + utf8(o.programs) + "; build it first");
    }
    fs::remove_all(partial, ec);
    const fs::path stage = partial / ".stage";
    fs::create_directories(stage);
    // Cabarc presents a machine of its own: a scratch one, not the user's.
    setEnvironment("PMSETUP_MACHINE", utf8(stage / "machine"));

    std::vector<SealLine> seal;
    for (const CabinetPlan& c : r.cabinets) {
      makeCabinet(r, c, o, stage, partial, when, progress);
      seal.push_back({hostSha256(partial / c.name), c.name});
    }
    place(r.agreement, partial / kAgreementFile, when);
    seal.push_back({hostSha256(partial / kAgreementFile), kAgreementFile});
    for (const std::string& p : shippedPrograms(o.windows))
      place(o.programs / p, partial / p, when);
    {
      std::ofstream out(partial / kSealFile, std::ios::binary);
      out << sealText(seal);
      check(bool(out.flush()), utf8(partial / kSealFile) + ": cannot be written");
    }
    fs::remove_all(stage);
    fs::remove_all(output, ec);
    fs::rename(partial, output);
  } catch (const Failed& f) {
    fs::remove_all(partial, ec);
    return Status::failure(f.message);
  } catch (const fs::filesystem_error& e) {
    fs::remove_all(partial, ec);
    return Status::failure(e.what());
  }
  progress << "PMPack: " << utf8(output) << ": Pelmora " << r.version << ", sealed in " << kSealFile
           << std::endl;
  return {};
}

int runPmpack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  std::vector<std::string> files;
  bool programsGiven = false;
  const auto usage = [&](const std::string& what) {
    err << "PMPack: " << what << "\n" << kUsage;
    return 64;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue = a == "--windows" || a == "--programs" || a == "--cabarc";
    if (takesValue && i + 1 == args.size()) return usage(a + " needs a folder or file");
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "--replace") {
      o.replace = true;
    } else if (takesValue) {
      const fs::path value = hostPath(args[++i]);
      if (a == "--cabarc") {
        o.cabarc = value;
      } else {
        if (programsGiven) return usage("give --windows or --programs once");
        programsGiven = true;
        o.windows = a == "--windows" || builtForWindows();
        o.programs = value;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return usage("give the release description and the installer folder");
  o.description = hostPath(files[0]);
  o.output = hostPath(files[1]);
  if (!programsGiven) {
    o.windows = builtForWindows();
    o.programs = ownFolder();
  }
  if (o.cabarc.empty()) o.cabarc = ownFolder() / (builtForWindows() ? "Cabarc.exe" : "Cabarc");

  const auto release = readRelease(o.description);
  if (!release) {
    err << "PMPack: " << release.message() << std::endl;
    return 1;
  }
  const std::vector<std::string> errors = checkRelease(release.value());
  for (const std::string& e : errors) err << "PMPack: " << e << std::endl;
  if (!errors.empty()) return 1;
  if (Status built = buildInstallerFolder(release.value(), o, out); !built) {
    err << "PMPack: " << built.message() << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace pm::pmpack
