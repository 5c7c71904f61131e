#include "platform/linux/desktop_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "platform/login_items.h"
#include "platform/text_compare.h"

namespace sys::xdg {

namespace {

constexpr std::string_view kDesktopEntryGroup = "Desktop Entry";
constexpr std::string_view kBlanks = " \t";

std::string_view trimFront(std::string_view s) {
  const size_t start = s.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view{} : s.substr(start);
}

std::string_view trimBack(std::string_view s) {
  const size_t end = s.find_last_not_of(kBlanks);
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

bool hasControlCharacter(std::string_view s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A key is a name, optionally followed by "[locale]".
bool isKey(std::string_view key) {
  if (key.empty() || hasControlCharacter(key)) return false;
  const size_t open = key.find('[');
  if (open == std::string_view::npos) return key.find(']') == std::string_view::npos;
  return open > 0 && key.back() == ']' && key.find(']') == key.size() - 1 &&
         key.find('[', open + 1) == std::string_view::npos;
}

// The escapes of string values: \s \n \t \r \\. Any other backslash stays as it is, so that the
// quoting of an Exec value survives for its own reading.
std::string unescapeValue(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out.push_back(v[i]);
      continue;
    }
    switch (v[i + 1]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default:
        out.push_back('\\');
        out.push_back(v[i + 1]);
        break;
    }
    ++i;
  }
  return out;
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "lang_COUNTRY.ENCODING@MODIFIER" in its parts; the encoding is dropped.
struct LocaleParts {
  std::string lang, country, modifier;
};

LocaleParts localeParts(std::string_view locale) {
  LocaleParts p;
  const size_t at = locale.find('@');
  if (at != std::string_view::npos) {
    p.modifier = std::string(locale.substr(at + 1));
    locale = locale.substr(0, at);
  }
  locale = locale.substr(0, locale.find('.'));
  const size_t underscore = locale.find('_');
  p.lang = std::string(locale.substr(0, underscore));
  if (underscore != std::string_view::npos) p.country = std::string(locale.substr(underscore + 1));
  return p;
}

}  // namespace

std::optional<std::string> KeyFile::value(std::string_view group, std::string_view key) const {
  const auto g = groups.find(group);
  if (g == groups.end()) return std::nullopt;
  for (auto it = g->second.rbegin(); it != g->second.rend(); ++it)
    if (it->first == key) return it->second;
  return std::nullopt;
}

namespace {

// The whole text is checked; only the keys `keep` wants are kept (all when it is empty).
using KeyFilter = bool (*)(std::string_view group, std::string_view key);

std::optional<KeyFile> parseKeyFileKeeping(std::string_view text, KeyFilter keep) {
  if (text.find('\0') != std::string_view::npos || !text::isValidUtf8(text)) return std::nullopt;
  KeyFile file;
  std::vector<std::pair<std::string, std::string>>* group = nullptr;
  std::string_view groupName;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trimFront(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      line = trimBack(line);
      if (line.size() < 2 || line.back() != ']') return std::nullopt;
      const std::string_view name = line.substr(1, line.size() - 2);
      if (name.find_first_of("[]") != std::string_view::npos || hasControlCharacter(name))
        return std::nullopt;
      group = &file.groups[std::string(name)];
      groupName = name;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || group == nullptr) return std::nullopt;
    const std::string_view key = trimBack(line.substr(0, equals));
    if (!isKey(key)) return std::nullopt;
    if (keep == nullptr || keep(groupName, key))
      group->emplace_back(std::string(key), unescapeValue(trimFront(line.substr(equals + 1))));
  }
  return file;
}

// What a desktop entry is read for: the keys of its main group that DesktopEntry holds.
bool desktopEntryKey(std::string_view group, std::string_view key) {
  if (group != kDesktopEntryGroup) return false;
  for (std::string_view k : {"Type", "Name", "Exec", "StartupWMClass", "Icon", "Hidden", "NoDisplay", "MimeType"})
    if (key == k) return true;
  return key.starts_with("Name[");
}

std::optional<std::string> readBoundedFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size > static_cast<off_t>(kMaxDesktopEntrySize))
    return std::nullopt;
  std::optional<std::string> text = files::readWhole(path);
  if (!text || text->size() > kMaxDesktopEntrySize) return std::nullopt;
  return text;
}

}  // namespace

std::optional<KeyFile> parseKeyFile(std::string_view text) { return parseKeyFileKeeping(text, nullptr); }

std::optional<KeyFile> readKeyFile(const std::string& path) {
  const std::optional<std::string> text = readBoundedFile(path);
  return text ? parseKeyFile(*text) : std::nullopt;
}

namespace {

std::optional<DesktopEntry> desktopEntryOf(const std::optional<KeyFile>& file) {
  if (!file) return std::nullopt;
  const auto group = file->groups.find(kDesktopEntryGroup);
  if (group == file->groups.end()) return std::nullopt;
  DesktopEntry entry;
  for (const auto& [key, value] : group->second) {
    if (key == "Type") entry.type = value;
    else if (key == "Name") entry.name = value;
    else if (key == "Exec") entry.exec = value;
    else if (key == "StartupWMClass") entry.startupWMClass = value;
    else if (key == "Icon") entry.icon = value;
    else if (key == "Hidden") entry.hidden = value == "true";
    else if (key == "NoDisplay") entry.noDisplay = value == "true";
    else if (key == "MimeType") {
      entry.mimeTypes.clear();
      for (size_t start = 0; start < value.size();) {
        const size_t end = std::min(value.find(';', start), value.size());
        if (end > start) entry.mimeTypes.push_back(value.substr(start, end - start));
        start = end + 1;
      }
    } else if (key.starts_with("Name[")) {
      const std::string locale = key.substr(5, key.size() - 6);
      auto same = std::find_if(entry.localizedNames.begin(), entry.localizedNames.end(),
                               [&](const auto& n) { return n.first == locale; });
      if (same != entry.localizedNames.end()) same->second = value;
      else entry.localizedNames.emplace_back(locale, value);
    }
  }
  return entry;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
  return desktopEntryOf(parseKeyFileKeeping(text, &desktopEntryKey));
}

std::optional<DesktopEntry> readDesktopEntry(const std::string& path) {
  const std::optional<std::string> text = readBoundedFile(path);
  return text ? parseDesktopEntry(*text) : std::nullopt;
}

std::string DesktopEntry::nameFor(std::string_view locale) const {
  const LocaleParts p = localeParts(locale);
  std::vector<std::string> tries;
  if (!p.lang.empty() && p.lang != "C" && p.lang != "POSIX") {
    if (!p.country.empty() && !p.modifier.empty())
      tries.push_back(p.lang + "_" + p.country + "@" + p.modifier);
    if (!p.country.empty()) tries.push_back(p.lang + "_" + p.country);
    if (!p.modifier.empty()) tries.push_back(p.lang + "@" + p.modifier);
    tries.push_back(p.lang);
  }
  for (const std::string& t : tries)
    for (const auto& [l, value] : localizedNames)
      if (l == t) return value;
  return name.value_or("");
}

std::optional<std::vector<std::string>> execArguments(std::string_view exec,
                                                      std::string_view name,
                                                      std::string_view entryPath) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;  // a quoted part makes even an empty argument one
  const auto endArgument = [&] {
    if (inArgument && (quoted || !current.empty())) args.push_back(current);
    current.clear();
    inArgument = quoted = false;
  };
  // Field codes: files and URLs stand for none here, nor does the icon.
  const auto fieldCode = [&](char code) {
    if (code == '%') current.push_back('%');
    else if (code == 'c') current.append(name);
    else if (code == 'k') current.append(entryPath);
  };
  const size_t n = exec.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = exec[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      endArgument();
      continue;
    }
    inArgument = true;
    if (c == '"') {
      quoted = true;
      for (++i;; ++i) {
        if (i >= n) return std::nullopt;
        if (exec[i] == '"') break;
        if (exec[i] == '\\' && i + 1 < n && std::strchr("\"`$\\", exec[i + 1]) != nullptr) {
          current.push_back(exec[++i]);
        } else if (exec[i] == '%' && i + 1 < n) {
          fieldCode(exec[++i]);
        } else {
          current.push_back(exec[i]);
        }
      }
    } else if (c == '\'') {
      quoted = true;
      const size_t close = exec.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      current.append(exec.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '\\' && i + 1 < n) {
      current.push_back(exec[++i]);
    } else if (c == '%' && i + 1 < n) {
      fieldCode(exec[++i]);
    } else {
      current.push_back(c);
    }
  }
  endArgument();
  return args;
}

std::optional<std::string> execProgram(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return std::nullopt;
  if (fileNameOf(arguments[0]) != "env") return arguments[0];
  // env [OPTION]... [-] [NAME=VALUE]... [PROGRAM [ARG]...]
  size_t i = 1;
  bool options = true;
  while (i < arguments.size()) {
    const std::string& a = arguments[i];
    if (options && a == "--") {
      options = false;
      ++i;
    } else if (options && a.starts_with("--")) {
      if (a.starts_with("--split-string")) return std::nullopt;
      i += (a == "--unset" || a == "--chdir") ? 2 : 1;
    } else if (options && a.size() > 1 && a[0] == '-') {
      // A cluster of short options; -u and -C take the rest or the next argument.
      size_t skip = 1;
      for (size_t k = 1; k < a.size(); ++k) {
        if (a[k] == 'S') return std::nullopt;  // the program hides in a string to split
        if (a[k] == 'u' || a[k] == 'C') {
          if (k + 1 == a.size()) skip = 2;
          break;
        }
      }
      i += skip;
    } else if (a == "-") {
      ++i;
    } else if (a.find('=') != std::string::npos) {
      options = false;
      ++i;
    } else {
      return a;
    }
  }
  return std::nullopt;
}

std::optional<std::string> execProgramOf(std::string_view exec) {
  const auto args = execArguments(exec);
  return args ? execProgram(*args) : std::nullopt;
}

std::string execValueFor(std::string_view program) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
    if (c == '%') out.push_back('%');
    out.push_back(c);
  }
  out.push_back('"');
  // GLib looks for the program of an entry before it expands "%%", so it would look for a file
  // that does not exist and drop the entry; through env the program is found after expansion.
  if (!program.empty() && program.front() == '/' && program.find('%') != std::string_view::npos)
    out.insert(0, "env ");
  return out;
}

std::string escapeValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == ' ' && i == 0) out += "\\s";
    else out.push_back(c);
  }
  return out;
}

std::optional<std::string> findProgram(const std::string& program, std::string_view searchPath) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (program.front() != '/' || !isRegularFile(program)) return std::nullopt;
    return fileLocation(program);
  }
  std::string_view rest = searchPath;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty() || folder.front() != '/') continue;  // no working folder at login
    const std::string candidate = files::join(folder, program);
    if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0)
      return fileLocation(candidate);
  }
  return std::nullopt;
}

std::string fileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace sys::xdg
