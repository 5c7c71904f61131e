// Feeds arbitrary text to both ends of the notification protocol: the helper's command reader
// and the panel's message reader. Nothing may crash, and what we write must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto command = protocol::readCommand(text);
  const auto message = protocol::readMessage(text);
  (void)protocol::decodeDeviceList(data, size);

  // Once written by us, a dictionary reads back to the same command and message, and writing
  // it again gives the very same text.
  if (const auto dict = protocol::decodeDictionary(text)) {
    const auto once = protocol::encodeDictionary(*dict);
    if (!once) std::abort();  // whatever parsed can be written
    const auto reread = protocol::decodeDictionary(*once);
    if (!reread) std::abort();
    const auto twice = protocol::encodeDictionary(*reread);
    if (!twice || *twice != *once) std::abort();
    const auto c1 = protocol::readCommand(*once);
    const auto c2 = protocol::readCommand(*reread);
    if (c1.command != c2.command || c1.front != c2.front) std::abort();
    const auto m1 = protocol::readMessage(*once);
    if (m1.kind != protocol::readMessage(*reread).kind) std::abort();
    if (m1.kind == protocol::Message::Kind::List) {
      const auto bytes = protocol::encodeDeviceList(m1.list);
      const auto back = protocol::decodeDeviceList(bytes.data(), bytes.size());
      if (!back || back->count != m1.list.count) std::abort();
    }
  }
  (void)command;
  (void)message;
  return 0;
}
