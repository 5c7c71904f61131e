#include "helper/notifications.h"

#include "settings/protocol.h"

void DistributedPaneChannel::startObserving(VantrelHelper& helper) {
  center_.observe(protocol::kCommandName,
                  [this, &helper](const std::optional<std::string>& object) { handleCommand(helper, object); });
}

void DistributedPaneChannel::sendMessage(const pl::Dictionary& message) {
  if (const auto text = protocol::encodeDictionary(message)) center_.post(protocol::kMessageName, *text);
}

void DistributedPaneChannel::handleCommand(VantrelHelper& helper, const std::optional<std::string>& object) {
  const auto request = object ? protocol::readCommand(*object) : protocol::CommandRequest{};
  switch (request.command) {
    case protocol::Command::List:
      sendMessage(*protocol::makeListMessage(helper.deviceListPayload()));
      break;
    case protocol::Command::Update:
      helper.updatePrefs();
      break;
    case protocol::Command::Front:
      helper.setSendRawReports(request.front);
      break;
    case protocol::Command::Enumerate:
      helper.driverLink().reenumerateUnloadedDevices();
      break;
    case protocol::Command::None:
      ++ignored_;
      return;
  }
  ++handled_;
}
