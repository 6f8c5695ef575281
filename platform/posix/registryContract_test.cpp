// The registry contract (platform/contract) for the machine folder's store
// files; the Windows build holds the real registry to the same contract.
#include <gtest/gtest.h>

#include "platform/contract/registryContract.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"

namespace pm::contract {
namespace {

struct PosixEnv {
  posix::TempMachine temp;
  posix::PosixRegistryStore store{temp.machine};
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, RegistryContract, ::testing::Types<PosixEnv>);

}  // namespace
}  // namespace pm::contract
