// The registry contract (platform/contract) for the machine folder's store
// files and the in-memory store the stage tests use.
#include <gtest/gtest.h>

#include "platform/contract/registryContract.h"
#include "platform/posix/posixRegistryStore.h"
#include "platform/posix/testMachine.h"
#include "tests/fakeRegistryStore.h"

namespace pm::contract {
namespace {

struct PosixEnv {
  posix::TempMachine temp;
  posix::PosixRegistryStore store{temp.machine};
};

struct FakeEnv {
  testing::FakeRegistryStore store;
};

struct EnvNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, PosixEnv> ? "Posix" : "Fake";
  }
};
using Implementations = ::testing::Types<PosixEnv, FakeEnv>;
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, RegistryContract, Implementations, EnvNames);

}  // namespace
}  // namespace pm::contract
