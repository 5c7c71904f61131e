// Feeds arbitrary bytes to the readers of desktop entries (autostart items, applications) and of
// their Exec values. Nothing may crash, and a program written into an entry reads back as the
// very same program.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/desktop_entry.h"
#include "platform/text_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace xdg = sys::xdg;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto entry = xdg::parseDesktopEntry(text)) {
    (void)entry->nameFor("de_CH.UTF-8@euro");
    if (entry->exec)
      if (const auto args = xdg::execArguments(*entry->exec, entry->name.value_or(""), "/e.desktop"))
        (void)xdg::execProgram(*args);
  }
  if (const auto args = xdg::execArguments(text)) (void)xdg::execProgram(*args);

  if (text.find('\0') == std::string_view::npos && text::isValidUtf8(text)) {
    const std::string exec = xdg::execValueFor(text);
    const auto entry =
        xdg::parseDesktopEntry("[Desktop Entry]\nExec=" + xdg::escapeValue(exec) + "\n");
    if (!entry || entry->exec != exec) std::abort();
    const auto args = xdg::execArguments(*entry->exec);
    if (!args || args->empty() || args->back() != text) std::abort();
    if (args->size() != 1 && (args->size() != 2 || (*args)[0] != "env")) std::abort();
  }
  return 0;
}
