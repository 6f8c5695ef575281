// DDE through DDEML: conversations with the system's servers (the Program
// Manager answers on service and topic "PROGMAN"). There is no server of our
// own on Windows.
#pragma once

#include "platform/dde.h"

namespace pm::win32 {

class DdemlSystem : public DdeSystem {
 public:
  DdemlSystem();
  ~DdemlSystem() override;
  DdemlSystem(const DdemlSystem&) = delete;
  DdemlSystem& operator=(const DdemlSystem&) = delete;

  Result<std::unique_ptr<DdeConversation>> connect(const std::string& service,
                                                   const std::string& topic) override;

 private:
  unsigned long instance_ = 0;
};

}  // namespace pm::win32
