// One set of expectations for every pm::InstallLock, with the file system of
// the same platform. Each platform instantiates the suite with an Env that
// holds `fs` (with a folder C:\ct to work in), makes a new lock of the same
// machine with makeLock(), and with holdAndEnd() lets another installer take
// the lock and end without giving it up, as a killed one does. forgeRecord(text)
// adds text to the leftovers record (and, on Windows, to the per-user list of
// earlier versions), recordName(path) is the name the record gives a folder,
// distrustRecord(bool) lets others write the record, or no longer, and
// showsRights() says whether the system shows who may write the record.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/filesystem.h"
#include "platform/installLock.h"
#include "platform/leftoverRecord.h"

namespace pm::contract {

template <typename Env>
class InstallLockContract : public ::testing::Test {
 protected:
  // What acquire() says to an installer on another thread, which takes the
  // lock the way another program would; it gives the lock up again at once.
  Status elsewhere() {
    Status said;
    std::thread([&] {
      auto other = env.makeLock();
      said = other->acquire();
      other->release();
    }).join();
    return said;
  }

  Env env;
  FileSystem& fs = env.fs;
};
TYPED_TEST_SUITE_P(InstallLockContract);

TYPED_TEST_P(InstallLockContract, OneInstallerAtATimeAndNothingOfItsRunOutlivesIt) {
  auto& fs = this->fs;
  auto lock = this->env.makeLock();
  ASSERT_TRUE(lock->acquire().ok());
  const Status refused = this->elsewhere();
  EXPECT_TRUE(anotherInstallerRuns(refused)) << refused.message();

  // What a run leaves while it holds the lock: a temporary file beside a file
  // it wrote (as a kill half-way through a write would), and a temporary
  // folder of its own. A file of the user's that only looks alike stays.
  ASSERT_TRUE(fs.writeText("C:\\ct\\Dorvane.mdb", "data").ok());
  ASSERT_TRUE(fs.writeText("C:\\ct\\.Dorvane.mdb.pmtmp-Ab12Cd", "cut short").ok());
  ASSERT_TRUE(fs.writeText("C:\\ct\\.Dorvane.mdb.pmtmp-kept", "the user's").ok());
  const auto own = fs.createPrivateTempFolder("PMUpTemp", false);
  ASSERT_TRUE(own.ok()) << own.message();
  ASSERT_TRUE(fs.writeText(own.value() + "\\Pelmora.CAB", "copy").ok());
  lock->release();
  // Where the system cannot show that only administrators may write the
  // record (Wine), the record is refused and nothing is removed.
  const bool swept = this->env.showsRights();
  std::vector<std::string> kept = {".Dorvane.mdb.pmtmp-kept", "Dorvane.mdb"};
  if (!swept) kept.insert(kept.begin(), ".Dorvane.mdb.pmtmp-Ab12Cd");
  EXPECT_EQ(fs.listFiles("C:\\ct").value(), kept);
  EXPECT_EQ(fs.folderExists(own.value()), !swept);
  if (!swept) (void)fs.deleteFolder(own.value(), true);
  EXPECT_TRUE(this->elsewhere().ok());

  // An installer that ends without giving the lock up leaves it free.
  this->env.holdAndEnd();
  EXPECT_TRUE(lock->acquire().ok());
  lock->release();
}

// Entries that nobody can prove ours delete nothing, whatever they name: the
// old plain form, a folder named as ours without its owner mark, and a true
// entry in a record that others could have written.
TYPED_TEST_P(InstallLockContract, ARecordDeletesNothingItCannotProveOurs) {
  auto& fs = this->fs;
  std::string forged;
  const std::string victims[] = {"C:\\ct\\Vendor-ABCDEFGH", "C:\\ct\\PMUpTemp-Ab12Cd"};
  for (const std::string& victim : victims) {
    ASSERT_TRUE(fs.createFolder(victim).ok());
    ASSERT_TRUE(fs.writeText(victim + "\\data.txt", "the user's").ok());
    this->env.makeReadOnly(victim + "\\data.txt");
    const std::string name = this->env.recordName(victim);
    forged += "D " + name + "\n" + leftoverLine({'D', name, std::string(32, '0')}) + "\n";
  }
  this->env.forgeRecord(forged);
  auto lock = this->env.makeLock();
  ASSERT_TRUE(lock->acquire().ok());
  const auto own = fs.createPrivateTempFolder("PMUpTemp", false);
  ASSERT_TRUE(own.ok()) << own.message();
  this->env.distrustRecord(true);
  lock->release();
  this->env.distrustRecord(false);
  for (const std::string& victim : victims)
    EXPECT_EQ(fs.readText(victim + "\\data.txt").value(), "the user's") << victim;
  EXPECT_TRUE(fs.folderExists(own.value()));
  EXPECT_TRUE(fs.deleteFolder(own.value(), true).ok());
}

REGISTER_TYPED_TEST_SUITE_P(InstallLockContract, OneInstallerAtATimeAndNothingOfItsRunOutlivesIt,
                            ARecordDeletesNothingItCannotProveOurs);

}  // namespace pm::contract
