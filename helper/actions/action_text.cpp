#include "helper/actions/action_text.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "platform/utf8.h"

namespace actions {
namespace {

bool IsWhitespaceCodePoint(uint32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// The code point at `i` and its length; malformed bytes decode as themselves with length 1
// (they are never white space).
uint32_t DecodeAt(std::string_view s, size_t i, size_t* len) {
  char32_t c = 0;
  return text::decodeUtf8(s, i, &c, len) ? static_cast<uint32_t>(c) : 0xFFFFFFFF;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsURLCharacter(char c) {
  if (IsAlpha(c) || IsDigit(c)) return true;
  switch (c) {
    case '-': case '.': case '_': case '~': case ':': case '/': case '?': case '#': case '[':
    case ']': case '@': case '!': case '$': case '&': case '\'': case '(': case ')': case '*':
    case '+': case ',': case ';': case '=': case '%':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string TrimWhitespace(std::string_view text) {
  // Code points are found from the front; the last non-space one marks the end.
  size_t begin = text.size(), end = 0;
  for (size_t i = 0; i < text.size();) {
    size_t len = 1;
    const uint32_t c = DecodeAt(text, i, &len);
    if (!IsWhitespaceCodePoint(c)) {
      if (begin == text.size()) begin = i;
      end = i + len;
    }
    i += len;
  }
  if (begin >= end) return {};
  return std::string(text.substr(begin, end - begin));
}

std::string ExpandTildeInPath(std::string_view path, std::string_view home) {
  if (path.empty() || path[0] != '~') return std::string(path);
  const size_t slash = path.find('/');
  const std::string_view user = path.substr(1, slash == std::string_view::npos ? path.npos : slash - 1);
  const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
  std::string base;
  if (user.empty()) {
    base = std::string(home);
  } else {
    const std::string name(user);
    struct passwd pw {};
    struct passwd* found = nullptr;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    if (getpwnam_r(name.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir) {
      return std::string(path);
    }
    base = found->pw_dir;
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string out = base == "/" && !rest.empty() ? std::string(rest) : base + std::string(rest);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::optional<ParsedURL> ParseURL(std::string_view text) {
  bool fragment = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!IsURLCharacter(c)) return std::nullopt;
    if (c == '%' && (i + 2 >= text.size() || !IsHex(text[i + 1]) || !IsHex(text[i + 2])))
      return std::nullopt;
    if (c == '#') {
      if (fragment) return std::nullopt;
      fragment = true;
    }
  }
  ParsedURL url;
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon > 0 && IsAlpha(text[0])) {
    const std::string_view head = text.substr(0, colon);
    bool scheme = true;
    for (char c : head) {
      if (!(IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.')) {
        scheme = false;
        break;
      }
    }
    if (scheme) url.scheme = std::string(head);
  }
  return url;
}

std::optional<std::string> URLToOpen(std::string_view text) {
  static constexpr std::string_view kHttp = "http://";
  const std::string trimmed = TrimWhitespace(text);
  // Nothing but white space names no address ("http://" alone would be opened otherwise).
  if (trimmed.empty()) return std::nullopt;
  const bool http = trimmed.starts_with(kHttp);
  if (auto url = ParseURL(trimmed)) {
    if (!url->scheme.empty() || http) return trimmed;
  } else if (http) {
    return std::nullopt;
  }
  std::string prefixed = std::string(kHttp) + trimmed;
  if (ParseURL(prefixed)) return prefixed;
  return std::nullopt;
}

}  // namespace actions
