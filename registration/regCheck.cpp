#include "registration/regCheck.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "database/connection.h"
#include "platform/result.h"

namespace pm {
namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 9;
constexpr int kVersionRevision = 5;

constexpr const char* kProductKey = "Software\\Korrimel Software\\Pelmora";
// Written with its trailing backslash, as it always has been.
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelmora\\";
// The uninstaller's place is fixed: it does not follow the application folder.
constexpr const char* kUninstallString = "\"C:\\Program Files\\Pelmora\\PMUninstall.exe\"";

constexpr const char* kSelectUserName = "Select * from Status where StatusDescription='UserName'";
constexpr const char* kDeleteUserName = "Delete * from Status where StatusDescription='UserName'";
// The date and the name travel as bound parameters: a name such as O'Brien
// reaches the table exactly as typed.
constexpr const char* kInsertUserName =
    "INSERT INTO STATUS (StatusDescription,StatusDate,StatusValue) VALUES ('UserName',?,?);";

// The registry entries of this stage. A failure of the store raises pm::Error
// from RegistryHelper; nothing above this stage catches it, so it is caught
// here: the entry stays as it was, one report line says what failed, and the
// stage goes on with the next entry. A store that fails the same way for every
// entry (an unreadable registry file) is reported once.
class RegistryWriter {
 public:
  explicit RegistryWriter(InstallWindow& frm) : frm_(frm) {}

  // The value's text; nullopt when the store could not be read.
  std::optional<std::string> read(RootKey root, const std::string& key, const std::string& name) {
    try {
      std::string text;
      frm_.registry().ReadStringValue(root, key, name, text);
      return text;
    } catch (const Error& e) {
      report("read", root, key, name, e);
      return std::nullopt;
    }
  }

  void write(RootKey root, const std::string& key, const std::string& name,
             const std::string& text) {
    try {
      frm_.registry().WriteStringValue(root, key, name, text);
    } catch (const Error& e) {
      report("written", root, key, name, e);
    }
  }

 private:
  void report(const char* what, RootKey root, const std::string& key, const std::string& name,
              const Error& e) {
    if (e.description() == lastFailure_) return;
    lastFailure_ = e.description();
    frm_.reportFailure("regCheck", registryFailureLine(what, root, key, name, e));
  }

  InstallWindow& frm_;
  std::string lastFailure_;
};

void registerApplication(InstallWindow& frm) {
  const std::string& app = frm.state().appFolder;
  RegistryWriter reg(frm);

  const auto stored = reg.read(RootKey::CurrentUser, kProductKey, "AppPath");
  if (stored && *stored != app) frm.rept("Inconsistent new path value.");
  reg.write(RootKey::CurrentUser, kProductKey, "AppPath", app);

  const std::string displayName = "Pelmora " + std::to_string(kVersionMajor) + "." +
                                  std::to_string(kVersionMinor) + "." +
                                  std::to_string(kVersionRevision);
  reg.write(RootKey::CurrentUser, kUninstallKey, "DisplayName", displayName);
  reg.write(RootKey::CurrentUser, kUninstallKey, "UninstallString", kUninstallString);

  frm.rept("Resetting icon variables.");
  const RootKey cr = RootKey::ClassesRoot;
  reg.write(cr, "pmhTemplate", "", "Pelmora Help File");
  reg.write(cr, "pmhTemplate\\DefaultIcon", "", app + "\\pmlra2.ico,0");
  reg.write(cr, "pmdDictionary", "", "Pelmora Dictionary File");
  reg.write(cr, "pmdDictionary\\DefaultIcon", "", app + "\\books05.ico,0");
  reg.write(cr, "pmGoals", "", "Pelmora Goals File");
  reg.write(cr, "pmGoals\\DefaultIcon", "", app + "\\goaltarget.ico,0");
  reg.write(cr, ".pmh", "", "pmhTemplate");
  reg.write(cr, ".pmd", "", "pmdDictionary");
  reg.write(cr, ".pmg", "", "pmGoals");
}

// Runs one operation of the user-name step; a failure skips it and the step goes on.
template <typename Operation>
bool attempt(Operation&& operation) {
  try {
    operation();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void recordUserName(InstallWindow& frm) {
  frm.rept("Please register your name for the install.");

  ado::Connection conn(frm.services().dataSources);
  conn.ConnectionString = ado::kConnectionString;
  const bool open = attempt([&] { conn.Open(); });

  std::string currentName;
  std::unique_ptr<ado::Recordset> rs;
  if (open) {
    attempt([&] {
      rs = conn.Execute(kSelectUserName);
      if (!(rs->isEOF() && rs->isBOF())) {
        rs->MoveFirst();
        currentName = rs->field("StatusValue").value_or("");
      }
    });
  }

  const std::string name = frm.askRegName(currentName);

  if (open) {
    // The old row goes only together with the new one: if the insert fails,
    // the delete is rolled back and the name that was there stays.
    const std::string today = frm.services().clock.shortDate(frm.services().clock.today());
    const bool stored = attempt([&] {
      conn.BeginTrans();
      conn.Execute(kDeleteUserName);
      conn.Execute(kInsertUserName, {today, name});
      conn.CommitTrans();
    });
    if (!stored) attempt([&] { conn.RollbackTrans(); });
  }

  rs.reset();
  attempt([&] { conn.Close(); });
}

}  // namespace

void regCheck(InstallWindow& frm) {
  frm.rept("Environment Settings Check");
  frm.showCurrent("Environment");

  registerApplication(frm);
  recordUserName(frm);

  frm.rept("--- Environment values completed.\r\n");
  frm.hideCurrent();
}

}  // namespace pm
