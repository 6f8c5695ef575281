// The registry, processes, data sources and DDE of a plan (recording.h).
#include <algorithm>
#include <stdexcept>

#include "platform/recording.h"
#include "platform/text.h"

namespace pm {

namespace {

std::string keyId(const std::string& keyPath) {
  return toLower(trim(keyPath, "\\", Ends::Right));
}

}  // namespace

// ---- Registry.

RecordingRegistryStore::Written* RecordingRegistryStore::find(RootKey root,
                                                              const std::string& keyPath,
                                                              const std::string& name) {
  for (Written& w : values_) {
    if (w.root == root && keyId(w.key) == keyId(keyPath) && equalsIgnoreCase(w.name, name))
      return &w;
  }
  return nullptr;
}

Result<std::optional<RegValue>> RecordingRegistryStore::readValue(RootKey root,
                                                                  const std::string& keyPath,
                                                                  const std::string& valueName) {
  if (const Written* w = find(root, keyPath, valueName)) return std::optional<RegValue>(w->value);
  return real_.readValue(root, keyPath, valueName);
}

Status RecordingRegistryStore::writeValue(RootKey root, const std::string& keyPath,
                                          const std::string& valueName, const RegValue& value) {
  if (value.type == ValueType::String &&
      value.text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return Status::failure("a registry text may not hold a line break or NUL");
  if (Status made = createKey(root, keyPath); !made) return made;
  if (Written* w = find(root, keyPath, valueName)) {
    w->value = value;
  } else {
    values_.push_back({root, trim(keyPath, "\\", Ends::Right), valueName, value});
  }
  return {};
}

Status RecordingRegistryStore::createKey(RootKey root, const std::string& keyPath) {
  const std::string path = trim(keyPath, "\\", Ends::Right);
  if (keys_.insert({root, toLower(path)}).second) keyOrder_.push_back({root, path});
  return {};
}

Result<bool> RecordingRegistryStore::keyExists(RootKey root, const std::string& keyPath) {
  const std::string id = keyId(keyPath);
  for (const auto& [r, k] : keys_) {
    if (r == root && (k == id || k.starts_with(id + "\\"))) return true;
  }
  return real_.keyExists(root, keyPath);
}

Result<std::vector<std::string>> RecordingRegistryStore::valueNames(RootKey root,
                                                                    const std::string& keyPath) {
  auto names = real_.valueNames(root, keyPath);
  if (!names) return names;
  std::vector<std::string> out = std::move(names).value();
  for (const Written& w : values_) {
    const auto same = [&](const std::string& n) { return equalsIgnoreCase(n, w.name); };
    if (w.root == root && keyId(w.key) == keyId(keyPath) &&
        std::none_of(out.begin(), out.end(), same))
      out.push_back(w.name);
  }
  return out;
}

std::vector<RegistryChange> RecordingRegistryStore::changes() {
  std::vector<RegistryChange> out;
  for (const auto& [root, key] : keyOrder_) {
    const auto existed = real_.keyExists(root, key);
    const bool made = existed && !existed.value();
    bool anyValue = false;
    for (const Written& w : values_) {
      if (w.root != root || keyId(w.key) != toLower(key)) continue;
      anyValue = true;
      const auto old = real_.readValue(root, w.key, w.name);
      RegistryChange change{root, w.key, w.name, old ? old.value() : std::nullopt, w.value, made};
      if (change.before != change.after) out.push_back(std::move(change));
    }
    if (made && !anyValue) out.push_back({root, key, "", std::nullopt, std::nullopt, true});
  }
  return out;
}

// ---- Processes.

namespace {

// The program a command line names, without folder and ".exe", in lower case.
std::string programName(const std::vector<std::string>& args) {
  if (args.empty()) return {};
  std::string name = toLower(args[0]);
  const std::size_t cut = name.find_last_of("\\/");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  if (name.ends_with(".exe")) name.resize(name.size() - 4);
  return name;
}

// regsvr32's exit code when it cannot load the library.
constexpr std::int32_t kRegsvrLoadFailed = 3;

}  // namespace

std::int32_t RecordingProcessRunner::runAndWait(const std::string& cmdline) {
  const std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  const std::string program = programName(args);
  ProgramRecord run{cmdline, true, false, 0};
  if (program == "cabarc" && args.size() >= 2) {
    // The cabinet tool's reading commands run for real; an extraction only
    // into a folder of the plan's own.
    const std::string real = fs_.toReal(cmdline);
    const std::vector<std::string> realArgs = splitWindowsCommandLine(real);
    std::string verb;
    for (std::size_t i = 1; i < realArgs.size() && verb.empty(); ++i) {
      if (!realArgs[i].starts_with("-")) verb = toLower(realArgs[i]);
    }
    const bool reads = verb == "l" || verb == "t";
    const bool extractsHere = verb == "x" && fs_.inScratch(realArgs.back());
    if (reads || extractsHere) {
      run.ranForReal = true;
      run.exitCode = real_.runAndWait(real);
    }
  } else if (program == "regsvr32") {
    // It registers a library of the system folder (or the working folder).
    const std::string library = args.empty() ? "" : args.back();
    const auto system = fs_.systemFolder();
    const bool found =
        (system && fs_.fileExists(system.value() + "\\" + library)) || fs_.fileExists(library);
    // A package the plan did not start (VBRun60) may have placed it.
    const bool placedUnseen = std::any_of(record_.programs.begin(), record_.programs.end(),
                                          [](const ProgramRecord& p) { return !p.ranForReal; });
    run.exitCode = found || placedUnseen ? 0 : kRegsvrLoadFailed;
    record_.unknown(
        "whether regsvr32 registers each library (the plan expects it to when the "
        "library is in place)");
  } else if (program == "vbrun60") {
    record_.unknown("what the Visual Basic runtime package VBRun60 installs");
  }
  record_.programs.push_back(run);
  return run.exitCode;
}

Status RecordingProcessRunner::start(const std::string& cmdline) {
  const std::vector<std::string> args = splitWindowsCommandLine(cmdline);
  if (args.empty() || !fs_.fileExists(args[0]))
    return Status::failure("\"" + (args.empty() ? cmdline : args[0]) + "\" does not exist");
  record_.programs.push_back({cmdline, false, false, 0});
  return {};
}

// ---- Data sources.

namespace {

// A statement that only reads.
bool onlyReads(const std::string& statement) {
  return toLower(trim(statement, " \t\r\n")).starts_with("select");
}

// A session on the plan's private copy of a database: every statement runs
// there, and those that change data are recorded. One on the machine's own
// database (`readOnly`) runs the reading statements only; one whose file is
// read-only (`refuse`) fails every change, as the driver would.
class RecordingSession : public DataSession {
 public:
  RecordingSession(std::unique_ptr<DataSession> inner, bool readOnly, bool refuse,
                   std::string dataSource, std::string database, PlanRecord& record)
      : inner_(std::move(inner)),
        readOnly_(readOnly),
        refuse_(refuse),
        dataSource_(std::move(dataSource)),
        database_(std::move(database)),
        record_(record) {}
  Rows execute(const std::string& statement, const std::vector<std::string>& parameters) override {
    if (onlyReads(statement)) return inner_->execute(statement, parameters);
    if (refuse_)
      throw driverError("[ODBC]attempt to write a readonly database " + database_, "HY000", 8,
                        "ODBC");
    record_.statements.push_back({dataSource_, database_, statement, parameters});
    if (readOnly_) return {};
    return inner_->execute(statement, parameters);
  }
  void setAutocommit(bool on) override {
    if (!readOnly_) inner_->setAutocommit(on);
  }
  void endTransaction(bool commit) override {
    if (!readOnly_) inner_->endTransaction(commit);
  }

 private:
  std::unique_ptr<DataSession> inner_;
  bool readOnly_;
  bool refuse_;  // the database file is read-only
  std::string dataSource_, database_;
  PlanRecord& record_;
};

// The value of "NAME=value;" in a connection string, "" when absent.
std::string connectionValue(const std::string& connectionString, const std::string& name) {
  std::size_t at = 0;
  while (at < connectionString.size()) {
    std::size_t end = connectionString.find(';', at);
    if (end == std::string::npos) end = connectionString.size();
    const std::string part = connectionString.substr(at, end - at);
    const std::size_t eq = part.find('=');
    if (eq != std::string::npos && equalsIgnoreCase(trim(part.substr(0, eq)), name))
      return trim(part.substr(eq + 1));
    at = end + 1;
  }
  return {};
}

}  // namespace

std::unique_ptr<DataSession> RecordingDataSources::connect(const std::string& connectionString) {
  // The data source as the registry would then name it: its database file in
  // the plan's view of the machine.
  const std::string name = connectionValue(connectionString, "DSN");
  const std::string key = std::string(kOdbcIniKey) + "\\" + name;
  const auto listed = registry_.readValue(RootKey::CurrentUser, kOdbcDataSourcesKey, name);
  const auto dbq = registry_.readValue(RootKey::CurrentUser, key, "DBQ");
  if (name.empty() || !listed || !listed.value() || !dbq || !dbq.value() ||
      dbq.value()->text.empty())
    throw driverError("[Driver Manager]Data source name not found and no default driver specified",
                      "IM002", 0, "ODBC Driver Manager");
  const std::string database = dbq.value()->text;
  const std::string real = fs_.realPath(database);
  if (real.empty() || !fs_.real().fileExists(real))
    throw driverError("[ODBC]Database file " + database + " does not exist", "HY000", 0, "ODBC");
  auto copy = copies_.find(real);
  if (copy == copies_.end()) {
    const std::string own = fs_.scratch() + "\\db" + std::to_string(copies_.size() + 1) + ".mdb";
    if (Status made = fs_.real().copyFile(real, own, true); !made)
      throw Error(made.message(), "PMSetup plan", kUnspecifiedFailure);
    (void)fs_.real().clearReadOnly(own);  // the plan's own copy goes at its end
    copy = copies_.emplace(real, own).first;
  }
  std::unique_ptr<DataSession> session;
  bool readOnly = false;
  // A read-only database file refuses every change, as it would to the install.
  const bool refuse = fs_.isReadOnly(database);
  try {
    session = open_(copy->second, connectionString);
  } catch (const Error&) {
    // A driver that cannot open a file by its name: the machine's own data
    // source is read instead, and nothing that changes it runs.
    session = open_("", connectionString);
    readOnly = true;
    record_.unknown(
        "the rows of the database that the install would replace: the data source "
        "was read as it is now, and no statement that changes data was run");
  }
  return std::make_unique<RecordingSession>(std::move(session), readOnly, refuse, name, database,
                                            record_);
}

// ---- DDE.

namespace {

class RecordingConversation : public DdeConversation {
 public:
  RecordingConversation(std::string service, std::string topic, PlanRecord& record)
      : service_(std::move(service)), topic_(std::move(topic)), record_(record) {}
  Status execute(const std::string& command, int) override {
    record_.ddeCommands.push_back({service_, topic_, command});
    return {};
  }

 private:
  std::string service_, topic_;
  PlanRecord& record_;
};

}  // namespace

Result<std::unique_ptr<DdeConversation>> RecordingDde::connect(const std::string& service,
                                                               const std::string& topic) {
  // A server that does not answer fails the plan's conversation as the install's.
  auto answered = real_.connect(service, topic);
  if (!answered) return answered.status();
  record_.unknown("whether the Program Manager accepts each item (the plan expects it to)");
  return std::unique_ptr<DdeConversation>(
      std::make_unique<RecordingConversation>(service, topic, record_));
}

// ---- The platform.

PlanPlatform::PlanPlatform(Platform& real) : real_(real), machine_(real.services()) {
  real_.planOnly();
  auto scratch = machine_.fs.createPrivateTempFolder("PMPlan", true);
  if (!scratch) {
    ready_ = Status::failure("The plan's private folder cannot be made: " + scratch.message());
    return;
  }
  scratch_ = scratch.value();
  files_ = std::make_unique<RecordingFileSystem>(machine_.fs, scratch_, record);
  registry_ = std::make_unique<RecordingRegistryStore>(machine_.registryStore);
  processes_ = std::make_unique<RecordingProcessRunner>(machine_.processes, *files_, record);
  dataSources_ = std::make_unique<RecordingDataSources>(
      *files_, *registry_,
      [this](const std::string& file, const std::string& connectionString) {
        return real_.openDatabaseFile(file, connectionString);
      },
      record);
  dde_ = std::make_unique<RecordingDde>(machine_.dde, record);
}

PlanPlatform::~PlanPlatform() {
  if (scratch_.empty()) return;
  // Never left standing in the folder that goes.
  (void)machine_.fs.setWorkingFolder(machine_.installerFolder);
  (void)machine_.fs.deleteFolder(scratch_, true);
}

MachineServices PlanPlatform::services() {
  // Never the real services in a plan's place.
  if (!files_) throw std::logic_error("the plan's services are not ready: " + ready_.message());
  return {*files_, machine_.clock,          *processes_, *registry_, *dataSources_,
          *dde_,   machine_.installerFolder};
}

}  // namespace pm
