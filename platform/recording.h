// The services of a plan: an install run over them shows what it would do to
// the machine and changes nothing.
//
// Each recording service sits on the machine's real one. Reads go to the real
// machine; every change is recorded instead of done, and later reads of the
// same run see the recorded state, so a stage that builds on an earlier one
// plans from what the earlier one would have left:
//
//   - files: a copy, a write, a rename, a deletion, a cleared read-only mark or
//     a new modification time of a file outside the run's own folders is kept
//     as an overlay entry whose content lies in the plan's private folder (a
//     "blob", a real copy, so sizes, dates and contents are real); a deletion
//     or a removed folder hides the real entry. A folder that the run makes is
//     a real folder in the plan's private folder ("shadow"): what the run puts
//     into it is really put there, so the cabinet tool can extract into it;
//   - the registry: written values and made keys, over the real store;
//   - outside programs: the cabinet tool runs for real when it only reads a
//     cabinet (list, test) or extracts into a shadow folder (its command line
//     names the shadow's real folder instead of the folder the install would
//     use); every other program (regsvr32, VBRun60, the application) is
//     recorded and not started, its exit code predicted;
//   - data sources: a connection opens a private copy of the database that the
//     data source names in the recorded registry and file state; statements run
//     on the copy, and those that change data are recorded;
//   - DDE: a conversation is opened with the real server (so one that does not
//     answer fails as it would), and every command is recorded, not sent.
//
// The private folder is made in the user's temporary folder (never in the
// installer folder or the machine) and removed with everything in it when the
// PlanPlatform goes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/services.h"

namespace pm {

// What a file (or folder) is at one moment of the plan.
struct FileState {
  bool exists = false;
  bool folder = false;
  bool link = false;       // a link itself: removing it leaves what it points to
  std::uint64_t size = 0;  // files only
  std::optional<DateTime> time;
  bool operator==(const FileState&) const = default;
};

// The net change of one path: what the machine holds now, and what it would
// hold after the install.
struct FileChange {
  std::string path;
  FileState before, after;
  std::string origin;           // "copy of PATH", "renamed from PATH", "written", ""
  std::size_t folderFiles = 0;  // a removed folder: the files it held
};

struct RegistryChange {
  RootKey root = RootKey::CurrentUser;
  std::string key, name;  // name "" for a key made without values
  std::optional<RegValue> before, after;
  bool keyMade = false;
};

struct StatementRecord {
  std::string dataSource, database, statement;
  std::vector<std::string> parameters;
};

struct DdeRecord {
  std::string service, topic, command;
};

struct ProgramRecord {
  std::string commandLine;
  bool waited = true;         // runAndWait (false: started, not waited for)
  bool ranForReal = false;    // the plan ran it (a reading cabinet tool)
  std::int32_t exitCode = 0;  // the real one, or the one the plan expects
};

// The record of one plan that is not a file or registry change.
struct PlanRecord {
  std::vector<StatementRecord> statements;
  std::vector<DdeRecord> ddeCommands;
  std::vector<ProgramRecord> programs;
  // What the plan could not know for certain, in words, each once.
  std::vector<std::string> unknowns;
  void unknown(const std::string& what);
};

class RecordingFileSystem : public FileSystem {
 public:
  // `scratch`: a real folder of the plan's own (Windows path), emptied by its owner.
  RecordingFileSystem(FileSystem& real, std::string scratch, PlanRecord& record);

  bool folderExists(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  Status createFolder(const std::string& path) override;
  Status deleteFolder(const std::string& path, bool force) override;
  Status copyFile(const std::string& source, const std::string& target, bool overwrite) override;
  Status deleteFile(const std::string& path, bool force) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  bool isLink(const std::string& path) override;
  bool isReadOnly(const std::string& path) override;
  Status clearReadOnly(const std::string& path) override;
  bool inUse(const std::string& path) override;
  bool folderWritable(const std::string& path) override;
  Result<bool> sameContent(const std::string& a, const std::string& b) override;
  Result<std::string> createPrivateTempFolder(const std::string& prefix, bool outlivesRun) override;
  Result<std::unique_ptr<FileLock>> lockFile(const std::string& path) override;
  Result<DateTime> modificationTime(const std::string& path) override;
  Status setModificationTime(const std::string& path, DateTime time) override;
  Result<std::vector<std::string>> listFiles(const std::string& folder) override;
  Status setWorkingFolder(const std::string& path) override;
  std::string workingFolder() override;
  std::string absolutePath(const std::string& path) override;
  Status readPieces(const std::string& path,
                    const std::function<bool(std::string_view)>& piece) override;
  Status writeText(const std::string& path, const std::string& content) override;
  std::string fromAnsi(const std::string& bytes) override { return real_.fromAnsi(bytes); }
  std::string toAnsi(const std::string& text) override { return real_.toAnsi(text); }
  Result<std::string> shortPath(const std::string& path) override;
  Result<std::string> systemFolder() override { return real_.systemFolder(); }

  // The real path that holds what `path` names in the plan's view; "" when
  // the view holds nothing there.
  std::string realPath(const std::string& path);
  // `text` with every folder the run made named by its real folder.
  std::string toReal(const std::string& text);
  // True when a real path lies in the plan's private folder.
  bool inScratch(const std::string& realPath) const;
  FileSystem& real() { return real_; }
  const std::string& scratch() const { return scratch_; }

  // The net changes, in the order the run first touched each path.
  std::vector<FileChange> changes();

 private:
  struct Node {
    enum Kind { Absent, File, Shadow } kind = Absent;
    std::string real;  // File: where its content is; Shadow: its real folder
    std::optional<bool> readOnly;
  };
  struct Place {
    bool gone = false;
    std::string real;  // the real path (of the machine, a blob or a shadow)
    const Node* node = nullptr;
  };
  Place where(const std::string& path);
  // A question about `path` answered by the real machine where the recorded
  // state puts it; false for what the run has deleted.
  bool askReal(const std::string& path, bool (FileSystem::*question)(const std::string&));
  std::string key(const std::string& path);
  void touch(const std::string& path, const std::string& origin);
  FileState stateIn(FileSystem& fs, const std::string& path);
  void forgetBelow(const std::string& folderKey);
  std::string newScratchName(const char* kind);
  Status needParent(const std::string& path);
  // A change done for real in a folder the run made: noted under the path the
  // install would use, when it succeeded.
  Status inShadow(const std::string& path, const std::string& origin, Status done);

  FileSystem& real_;
  std::string scratch_;
  PlanRecord& record_;
  std::map<std::string, Node> nodes_;  // key: the absolute path in lower case
  std::vector<std::string> touched_;   // paths as first written
  std::map<std::string, FileState> before_;
  std::map<std::string, std::string> origin_;
  std::map<std::string, std::string> shadowOf_;  // real shadow folder -> its path
  std::string cwd_;
  int counter_ = 0;
};

class RecordingRegistryStore : public RegistryStore {
 public:
  explicit RecordingRegistryStore(RegistryStore& real) : real_(real) {}
  Result<std::optional<RegValue>> readValue(RootKey root, const std::string& keyPath,
                                            const std::string& valueName) override;
  Status writeValue(RootKey root, const std::string& keyPath, const std::string& valueName,
                    const RegValue& value) override;
  Status createKey(RootKey root, const std::string& keyPath) override;
  Result<bool> keyExists(RootKey root, const std::string& keyPath) override;
  Result<std::vector<std::string>> valueNames(RootKey root, const std::string& keyPath) override;

  // The net changes, in the order the run first wrote each value or key.
  std::vector<RegistryChange> changes();

 private:
  using Id = std::pair<RootKey, std::string>;  // a key, lower case, no trailing "\"
  struct Written {
    RootKey root;
    std::string key, name;
    RegValue value;
  };
  RegistryStore& real_;
  std::set<Id> keys_;
  std::vector<std::pair<RootKey, std::string>> keyOrder_;
  std::vector<Written> values_;  // in the order first written
  Written* find(RootKey root, const std::string& keyPath, const std::string& name);
};

// Opens a database file (a real path) for a plan's private copy;
// `connectionString` is the one the install would have used.
using DatabaseOpener = std::function<std::unique_ptr<DataSession>(
    const std::string& realFile, const std::string& connectionString)>;

class RecordingDataSources : public DataSources {
 public:
  RecordingDataSources(RecordingFileSystem& fs, RegistryStore& registry, DatabaseOpener open,
                       PlanRecord& record)
      : fs_(fs), registry_(registry), open_(std::move(open)), record_(record) {}
  Status prepare() override { return {}; }
  std::unique_ptr<DataSession> connect(const std::string& connectionString) override;

 private:
  RecordingFileSystem& fs_;
  RegistryStore& registry_;
  DatabaseOpener open_;
  PlanRecord& record_;
  std::map<std::string, std::string> copies_;  // real database file -> its private copy
};

class RecordingProcessRunner : public ProcessRunner {
 public:
  RecordingProcessRunner(ProcessRunner& real, RecordingFileSystem& fs, PlanRecord& record)
      : real_(real), fs_(fs), record_(record) {}
  std::int32_t runAndWait(const std::string& cmdline) override;
  Status start(const std::string& cmdline) override;

 private:
  ProcessRunner& real_;
  RecordingFileSystem& fs_;
  PlanRecord& record_;
};

class RecordingDde : public DdeSystem {
 public:
  RecordingDde(DdeSystem& real, PlanRecord& record) : real_(real), record_(record) {}
  Result<std::unique_ptr<DdeConversation>> connect(const std::string& service,
                                                   const std::string& topic) override;

 private:
  DdeSystem& real_;
  PlanRecord& record_;
};

// The platform of a plan: the recording services over a real platform's, and
// the real install lock (a plan never runs beside an install).
class PlanPlatform : public Platform {
 public:
  // Fails (see ready()) when the private folder cannot be made.
  explicit PlanPlatform(Platform& real);
  ~PlanPlatform() override;
  PlanPlatform(const PlanPlatform&) = delete;
  PlanPlatform& operator=(const PlanPlatform&) = delete;

  const Status& ready() const { return ready_; }
  MachineServices services() override;
  InstallLock& installLock() override { return real_.installLock(); }
  void planOnly() override { real_.planOnly(); }
  std::unique_ptr<DataSession> openDatabaseFile(const std::string& file,
                                                const std::string& connectionString) override {
    return real_.openDatabaseFile(file, connectionString);
  }

  PlanRecord record;
  std::vector<FileChange> fileChanges() { return files_->changes(); }
  std::vector<RegistryChange> registryChanges() { return registry_->changes(); }

 private:
  Platform& real_;
  MachineServices machine_;
  Status ready_;
  std::string scratch_;
  std::unique_ptr<RecordingFileSystem> files_;
  std::unique_ptr<RecordingRegistryStore> registry_;
  std::unique_ptr<RecordingProcessRunner> processes_;
  std::unique_ptr<RecordingDataSources> dataSources_;
  std::unique_ptr<RecordingDde> dde_;
};

}  // namespace pm
