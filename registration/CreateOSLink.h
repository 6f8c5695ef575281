// The program group: shortcuts made by DDE commands to the shell's Program Manager.
#pragma once

#include <cstdint>
#include <string>

#include "install/installWindow.h"

namespace pm {

void CreateOSLink(InstallWindow& frm, std::string strGroupName, std::string strLinkPath,
                  std::string strLinkArguments, std::string strLinkName, bool fPrivate);
void CreateProgManItem(InstallWindow& frm, std::string strGroupName, std::string strCmdLine,
                       std::string strIconTitle, bool fLog = false);
void PerformDDE(InstallWindow& frm, std::string strGroup, std::string strCmd, std::string strTitle,
                std::int16_t intDDE, bool fLog);

}  // namespace pm
