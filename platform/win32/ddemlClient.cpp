#include "platform/win32/ddemlClient.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <ddeml.h>

#include "platform/win32/wideText.h"

namespace pm::win32 {
namespace {

HDDEDATA CALLBACK clientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

std::string ddeError(DWORD instance) {
  switch (DdeGetLastError(instance)) {
    case DMLERR_NO_CONV_ESTABLISHED:
      return "no DDE server answered";
    case DMLERR_NOTPROCESSED:
      return "the DDE server did not carry out the command";
    case DMLERR_EXECACKTIMEOUT:
      return "the DDE server did not answer in time";
    case DMLERR_BUSY:
      return "the DDE server is busy";
    default:
      return "DDE error " + std::to_string(DdeGetLastError(instance));
  }
}

class DdemlConversation : public DdeConversation {
 public:
  DdemlConversation(DWORD instance, HCONV conv) : instance_(instance), conv_(conv) {}
  ~DdemlConversation() override { DdeDisconnect(conv_); }

  Status execute(const std::string& command, int timeoutTenths) override {
    std::wstring text = widen(command);
    DWORD result = 0;
    const HDDEDATA ok = DdeClientTransaction(
        reinterpret_cast<BYTE*>(text.data()),
        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), conv_, nullptr, 0, XTYP_EXECUTE,
        static_cast<DWORD>(timeoutTenths) * 100, &result);
    if (!ok) return Status::failure(command + ": " + ddeError(instance_));
    return {};
  }

 private:
  DWORD instance_;
  HCONV conv_;
};

}  // namespace

DdemlSystem::DdemlSystem() {
  DWORD inst = 0;
  if (DdeInitializeW(&inst, clientCallback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR)
    instance_ = inst;
}

DdemlSystem::~DdemlSystem() {
  if (instance_) DdeUninitialize(instance_);
}

Result<std::unique_ptr<DdeConversation>> DdemlSystem::connect(const std::string& service,
                                                              const std::string& topic) {
  if (!instance_) return Status::failure("DDE could not be started");
  const DWORD inst = instance_;
  const HSZ s = DdeCreateStringHandleW(inst, widen(service).c_str(), CP_WINUNICODE);
  const HSZ t = DdeCreateStringHandleW(inst, widen(topic).c_str(), CP_WINUNICODE);
  const HCONV conv = DdeConnect(inst, s, t, nullptr);
  const std::string why = conv ? std::string() : ddeError(inst);
  DdeFreeStringHandle(inst, s);
  DdeFreeStringHandle(inst, t);
  if (!conv) return Status::failure(service + "|" + topic + ": " + why);
  return std::unique_ptr<DdeConversation>(std::make_unique<DdemlConversation>(inst, conv));
}

}  // namespace pm::win32
