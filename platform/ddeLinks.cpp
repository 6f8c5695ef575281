#include "platform/ddeLinks.h"

#include <cctype>
#include "platform/text.h"

namespace pm {
namespace {

class InProcessConversation : public DdeConversation {
 public:
  InProcessConversation(DdeServer& server, std::string topic)
      : server_(server), topic_(std::move(topic)) {}
  Status execute(const std::string& command, int /*timeoutTenths*/) override {
    // The server answers synchronously in this process, so the time-out never runs out.
    return server_.execute(topic_, command);
  }

 private:
  DdeServer& server_;
  std::string topic_;
};

}  // namespace

void InProcessDde::registerServer(const std::string& service, DdeServer& server) {
  servers_[toUpper(service)] = &server;
}

Result<std::unique_ptr<DdeConversation>> InProcessDde::connect(const std::string& service,
                                                               const std::string& topic) {
  auto it = servers_.find(toUpper(service));
  if (it == servers_.end()) return Status::failure("No DDE server answers as " + service);
  if (!it->second->acceptsTopic(topic))
    return Status::failure("DDE server " + service + " does not accept the topic " + topic);
  return std::unique_ptr<DdeConversation>(
      std::make_unique<InProcessConversation>(*it->second, topic));
}

Result<std::string> progManCommand(const std::string& name,
                                   const std::vector<std::string>& arguments) {
  std::string command = "[" + name + "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.find('"') != std::string::npos)
      return Status::failure("a double quote cannot be sent to the Program Manager: " + argument);
    if (i > 0) command += ',';
    const bool quote = argument.find_first_of("()[],") != std::string::npos;
    command += quote ? "\"" + argument + "\"" : argument;
  }
  return command + ")]";
}

Status LabelDdeLink::setLinkTopic(const std::string& topic) {
  if (mode_ != 0) return Status::failure("LinkTopic cannot change while the link is open");
  topic_ = topic;
  return {};
}

Status LabelDdeLink::setLinkMode(int mode) {
  if (mode == 0) {
    conversation_.reset();
    mode_ = 0;
    return {};
  }
  if (mode != 1 && mode != 2 && mode != 3) return Status::failure("Invalid LinkMode");
  const auto bar = topic_.find('|');
  if (bar == std::string::npos)
    return Status::failure("No foreign application responded to a DDE initiate");
  auto conversation = dde_.connect(topic_.substr(0, bar), topic_.substr(bar + 1));
  if (!conversation) return Status::failure("No foreign application responded to a DDE initiate");
  conversation_ = std::move(conversation).value();
  mode_ = mode;
  return {};
}

Status LabelDdeLink::setLinkTimeout(int tenths) {
  timeout_ = tenths;
  return {};
}

Status LabelDdeLink::linkExecute(const std::string& command) {
  if (!conversation_) return Status::failure("No DDE conversation is open");
  return conversation_->execute(command, timeout_);
}

}  // namespace pm
