// The database stage with older backups and a bad blank database: the user's
// data is never overwritten or replaced by nothing.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "database/dbCheck.h"
#include "platform/ddeLinks.h"
#include "tests/fakeClock.h"
#include "tests/fakeFileSystem.h"
#include "tests/fakeInstallWindow.h"
#include "tests/fakeProcessRunner.h"
#include "tests/fakeRegistryStore.h"

namespace pm {
namespace {

const std::string kDatabase = "C:\\Pelmora\\Dorvane.mdb";
const std::string kBackup = "C:\\Pelmora\\DorvaneBKUP.mdb";

struct Case {
  const char* name;
  std::optional<std::string> backup;  // DorvaneBKUP.mdb before the run
  bool firstKeptNameTaken;            // DorvaneBKUP.1.mdb exists
  std::string blank;                  // what the extraction yields
  std::string line;                   // the report line after "Database exists..."
  std::optional<std::string> keptAs;  // where the older backup must be
  std::string database;               // Dorvane.mdb afterwards
};

TEST(DatabaseSafety, OlderBackupsAreKeptAndOnlyAWholeBlankReplacesTheDatabase) {
  const std::string extracting = "Extracting database to C:\\setup\\PMUpTemp";
  const Case cases[] = {
      {"no older backup", std::nullopt, false, "blank", extracting, std::nullopt, "blank"},
      {"a copy already", "data", false, "blank", extracting, std::nullopt, "blank"},
      {"an older one", "old data", true, "blank", "Older backup kept as DorvaneBKUP.2.mdb.",
       "C:\\Pelmora\\DorvaneBKUP.2.mdb", "blank"},
      {"an empty blank", std::nullopt, false, "", extracting, std::nullopt, "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FakeFileSystem fs;
    testing::FakeRegistryStore registry;
    testing::FakeClock clock;
    testing::FakeProcessRunner runner;
    InProcessDde dde;
    testing::NullToolkit toolkit;
    struct : DataSources {
      Status prepare() override { return {}; }
    } dataSources;
    Services services{fs, clock, runner, registry, dataSources, dde, toolkit, "C:\\setup"};
    testing::FakeInstallWindow frm(services);
    frm.state().appFolder = "C:\\Pelmora";
    frm.state().tempFolder = "C:\\setup\\PMUpTemp";
    fs.addFolder("C:\\setup\\PMUpTemp");
    fs.addFile(kDatabase, "data");
    if (c.backup) fs.addFile(kBackup, *c.backup);
    if (c.firstKeptNameTaken) fs.addFile("C:\\Pelmora\\DorvaneBKUP.1.mdb", "older still");
    runner.onRun = [&](const std::string&, const std::vector<std::string>&) {
      fs.addFile("C:\\setup\\PMUpTemp\\Dorvane.mdb", c.blank);
      return 0;
    };

    dbCheck(frm);

    ASSERT_GE(frm.lines.size(), 4u);
    EXPECT_EQ(frm.lines[2], c.line);
    EXPECT_EQ(fs.content(kBackup), "data");
    if (c.keptAs) {
      EXPECT_EQ(fs.content(*c.keptAs), c.backup);
      EXPECT_EQ(fs.content("C:\\Pelmora\\DorvaneBKUP.1.mdb"), "older still");
    }
    EXPECT_EQ(fs.content(kDatabase), c.database);
    // Only the failure path of the file steps writes the debug file.
    EXPECT_EQ(frm.dumps, c.database == "blank" ? 0 : 1) << frm.lines.back();
  }
}

}  // namespace
}  // namespace pm
