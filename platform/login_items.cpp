#include "platform/login_items.h"

#include <unistd.h>

#include <cerrno>

#include <vector>

namespace sys {

std::string fileLocation(std::string_view path) {
  std::string whole;
  if (path.empty() || path.front() != '/') {
    // Without a working folder (it was deleted, say) the path is taken from the root.
    std::vector<char> buffer(4096);
    bool found = false;
    while (!(found = ::getcwd(buffer.data(), buffer.size()) != nullptr) && errno == ERANGE &&
           buffer.size() < (1u << 20))
      buffer.resize(buffer.size() * 2);
    if (found) whole = buffer.data();
    whole.push_back('/');
  }
  whole.append(path);

  std::vector<std::string_view> parts;
  std::string_view rest = whole;
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  if (parts.empty()) return "/";
  std::string out;
  for (std::string_view part : parts) {
    out.push_back('/');
    out.append(part);
  }
  return out;
}

}  // namespace sys
