#include "registration/CreateOSLink.h"

namespace pm {

void CreateOSLink(InstallWindow& frm, std::string strGroupName, std::string strLinkPath,
                  std::string strLinkArguments, std::string strLinkName, bool fPrivate) {
  (void)frm, (void)strGroupName, (void)strLinkPath, (void)strLinkArguments, (void)strLinkName,
      (void)fPrivate;
}

void CreateProgManItem(InstallWindow& frm, std::string strGroupName, std::string strCmdLine,
                       std::string strIconTitle, bool fLog) {
  (void)frm, (void)strGroupName, (void)strCmdLine, (void)strIconTitle, (void)fLog;
}

void PerformDDE(InstallWindow& frm, std::string strGroup, std::string strCmd, std::string strTitle,
                std::int16_t intDDE, bool fLog) {
  (void)frm, (void)strGroup, (void)strCmd, (void)strTitle, (void)intDDE, (void)fLog;
}

}  // namespace pm
