#include "registration/regCheck.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "database/connection.h"
#include "install/registryReporter.h"
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

void registerApplication(InstallWindow& frm) {
  const std::string& app = frm.state().appFolder;
  // The registry entries of this stage: a failure of the store is told and
  // recorded, the entry stays as it was, and the stage goes on.
  RegistryReporter reg(frm, "regCheck");

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
