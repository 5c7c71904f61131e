#include "platform/system_services.h"

namespace sys {

static int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string pathFromURL(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.substr(0, kScheme.size()) != kScheme) return std::string(url);
  std::string_view rest = url.substr(kScheme.size());
  // "file://localhost/x" and "file:///x" name the same path.
  if (rest.substr(0, 9) == "localhost") rest.remove_prefix(9);
  std::string out;
  out.reserve(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size()) {
      const int hi = hexDigit(rest[i + 1]);
      const int lo = hexDigit(rest[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(rest[i]);
  }
  return out;
}

std::string lastPathComponent(std::string_view pathOrURL) {
  std::string path = pathFromURL(pathOrURL);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") return {};
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string deletingPathExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name);
  return std::string(name.substr(0, dot));
}

}  // namespace sys
