// The client side of DDE as a label's link properties, and the servers that live
// in this process. Neither needs the operating system: a label's link is plain
// state over a DdeSystem, and InProcessDde lets a server (the Program Manager
// stand-in) answer conversations by name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dde.h"

namespace pm {

// A server that answers DDE execute requests on the topics it accepts.
class DdeServer {
 public:
  virtual ~DdeServer() = default;
  virtual bool acceptsTopic(const std::string& topic) const = 0;
  // Carries out one execute request; fails when the server refuses the command.
  virtual Status execute(const std::string& topic, const std::string& command) = 0;
};

// Servers registered by name in this process. Names compare without regard to case.
class InProcessDde : public DdeSystem {
 public:
  // The server must outlive every conversation opened with it.
  void registerServer(const std::string& service, DdeServer& server);
  Result<std::unique_ptr<DdeConversation>> connect(const std::string& service,
                                                   const std::string& topic) override;

 private:
  std::map<std::string, DdeServer*> servers_;  // key: upper-case service name
};

// One Program Manager command, "[Name(argument,argument,...)]". An argument that
// holds a character of the command syntax ( ) [ ] , goes in double quotes, which
// the Program Manager reads as one argument up to the closing quote; any other
// argument goes as it is, so ordinary commands are unchanged. The syntax has no
// escape for a double quote inside an argument: an argument holding one is
// refused (the failure names it) rather than sent in a form that could split.
Result<std::string> progManCommand(const std::string& name,
                                   const std::vector<std::string>& arguments);

// A label's link properties over a DdeSystem.
class LabelDdeLink : public DdeLink {
 public:
  explicit LabelDdeLink(DdeSystem& dde) : dde_(dde) {}
  Status setLinkTopic(const std::string& topic) override;
  const std::string& linkTopic() const override { return topic_; }
  Status setLinkMode(int mode) override;
  int linkMode() const override { return mode_; }
  Status setLinkTimeout(int tenths) override;
  int linkTimeout() const override { return timeout_; }
  Status linkExecute(const std::string& command) override;

 private:
  DdeSystem& dde_;
  std::string topic_;
  int mode_ = 0;
  int timeout_ = 50;  // five seconds, a label's default
  std::unique_ptr<DdeConversation> conversation_;
};

}  // namespace pm
