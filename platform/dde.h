// DDE: conversations between a client and a named server on a topic, and the
// client side as a label control's link properties (LinkTopic, LinkMode,
// LinkTimeout, LinkExecute).
//
// On Linux the servers live in the installer's own process (the Program Manager
// stand-in registers itself as "PROGMAN"); on Windows the same interfaces carry
// the system's DDEML conversations (platform/win32/ddemlClient.h).
#pragma once

#include <memory>
#include <string>

#include "platform/result.h"

namespace pm {

// One open conversation with a server on a topic.
class DdeConversation {
 public:
  virtual ~DdeConversation() = default;
  // Sends an execute request; fails when the server refuses it or does not
  // answer within timeoutTenths tenths of a second.
  virtual Status execute(const std::string& command, int timeoutTenths) = 0;
};

// The servers reachable by name.
class DdeSystem {
 public:
  virtual ~DdeSystem() = default;
  // Opens a conversation; fails when no server of that name answers on the topic.
  virtual Result<std::unique_ptr<DdeConversation>> connect(const std::string& service,
                                                           const std::string& topic) = 0;
};

// A label's link properties, the DDE client of the program-group stage.
class DdeLink {
 public:
  virtual ~DdeLink() = default;
  // "SERVER|TOPIC"; fails when the link is open (LinkMode not 0) or the text is malformed.
  virtual Status setLinkTopic(const std::string& topic) = 0;
  virtual const std::string& linkTopic() const = 0;
  // 0 closes the conversation; 2 opens a manual link with the partner of LinkTopic.
  virtual Status setLinkMode(int mode) = 0;
  virtual int linkMode() const = 0;
  // Tenths of a second that an execute request waits for the server.
  virtual Status setLinkTimeout(int tenths) = 0;
  virtual int linkTimeout() const = 0;
  // Sends an execute request over the open link.
  virtual Status linkExecute(const std::string& command) = 0;
};

}  // namespace pm
