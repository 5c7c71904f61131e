#include "settings/protocol.h"

#include <cstring>

namespace protocol {

std::optional<std::string> encodeDictionary(const pl::Dictionary& dict) { return pl::toXml(dict); }

pl::DictRef decodeDictionary(std::string_view text) { return pl::asDict(pl::parse(text)); }

// ---- device list ------------------------------------------------------------------------------

DeviceListBytes encodeDeviceList(const DeviceList& list) {
  DeviceListBytes out{};
  putU16(&out[0], list.count);
  putU16(&out[2], list.helperState);
  const size_t n = validCount(list);
  for (size_t i = 0; i < n; ++i) {
    const auto record = list.devices[i].encode();
    std::memcpy(&out[4 + i * DeviceInfo::kSize], record.data(), DeviceInfo::kSize);
  }
  return out;
}

std::optional<DeviceList> decodeDeviceList(const uint8_t* bytes, size_t n) {
  if (!bytes || n != kDeviceListSize) return std::nullopt;
  DeviceList list;
  list.count = getU16(&bytes[0]);
  list.helperState = getU16(&bytes[2]);
  for (size_t i = 0; i < kMaxListedDevices; ++i)
    list.devices[i] = DeviceInfo::decode(&bytes[4 + i * DeviceInfo::kSize], DeviceInfo::kSize);
  return list;
}

// ---- commands ---------------------------------------------------------------------------------

namespace {

constexpr Command kCommandOrder[] = {Command::List, Command::Update, Command::Front, Command::Enumerate};

}  // namespace

const char* commandWord(Command command) {
  switch (command) {
    case Command::List: return "list";
    case Command::Update: return "update";
    case Command::Front: return "front";
    case Command::Enumerate: return "enumerate";
    case Command::None: break;
  }
  return "";
}

CommandRequest readCommand(const pl::Dictionary& dict) {
  CommandRequest req;
  const auto word = dict.getStringObject("command");
  if (!word) return req;
  for (Command c : kCommandOrder) {
    if (word->value() == commandWord(c)) {
      req.command = c;
      break;
    }
  }
  if (req.command == Command::Front) req.front = dict.boolValue("front");
  return req;
}

CommandRequest readCommand(std::string_view text) {
  const auto dict = decodeDictionary(text);
  return dict ? readCommand(*dict) : CommandRequest{};
}

pl::DictRef makeCommand(Command command) {
  auto d = pl::makeDict();
  if (command != Command::None) d->setString("command", commandWord(command));
  return d;
}

pl::DictRef makeFrontCommand(bool front) {
  auto d = makeCommand(Command::Front);
  d->setBool("front", front);
  return d;
}

// ---- messages ---------------------------------------------------------------------------------

pl::DictRef makeListMessage(const DeviceListBytes& payload) {
  auto d = pl::makeDict();
  d->set("list", pl::makeData(payload.data(), payload.size()));
  return d;
}

pl::DictRef makeReportMessage(const ReportBytes& report) {
  auto d = pl::makeDict();
  d->set("report", pl::makeData(report.data(), report.size()));
  return d;
}

Message readMessage(const pl::Dictionary& dict) {
  Message m;
  if (dict.contains("report")) {
    const auto data = dict.getData("report");
    if (data && data->bytes().size() == kReportSize) {
      m.kind = Message::Kind::Report;
      std::memcpy(m.report.data(), data->bytes().data(), kReportSize);
    }
    return m;
  }
  if (const auto data = dict.getData("list")) {
    if (auto list = decodeDeviceList(data->bytes().data(), data->bytes().size())) {
      m.kind = Message::Kind::List;
      m.list = *list;
    }
  }
  return m;
}

Message readMessage(std::string_view text) {
  const auto dict = decodeDictionary(text);
  return dict ? readMessage(*dict) : Message{};
}

}  // namespace protocol
