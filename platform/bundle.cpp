#include "platform/bundle.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/utf8.h"

#ifndef VANTREL_RESOURCE_DIR
#define VANTREL_RESOURCE_DIR "resources"
#endif

namespace platform {
namespace {

using text::appendUtf8;

// UTF-16 text (after its byte-order mark) as UTF-8; a lone surrogate becomes U+FFFD and an odd
// last byte is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  auto unitAt = [&](size_t i) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char16_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u);
  }
  return out;
}

bool isUnquotedChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class StringsParser {
 public:
  explicit StringsParser(std::string_view text) : fText(text) {}

  StringTable parse() {
    StringTable table;
    while (true) {
      skipSpaceAndComments();
      if (atEnd()) break;
      const size_t entryStart = fPos;
      if (!parseEntry(table)) {
        recover(entryStart);
      }
    }
    return table;
  }

 private:
  bool atEnd() const { return fPos >= fText.size(); }
  char peek() const { return fText[fPos]; }

  void skipSpaceAndComments() {
    while (!atEnd()) {
      const char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++fPos;
      } else if (c == '/' && fPos + 1 < fText.size() && fText[fPos + 1] == '*') {
        const size_t end = fText.find("*/", fPos + 2);
        fPos = end == std::string_view::npos ? fText.size() : end + 2;
      } else if (c == '/' && fPos + 1 < fText.size() && fText[fPos + 1] == '/') {
        const size_t end = fText.find('\n', fPos + 2);
        fPos = end == std::string_view::npos ? fText.size() : end + 1;
      } else {
        break;
      }
    }
  }

  // After a syntax error: go past the next ';' that is not inside a quoted string (or to the
  // end), always moving forward.
  void recover(size_t entryStart) {
    size_t i = std::max(fPos, entryStart + 1);
    bool quoted = false;
    for (; i < fText.size(); ++i) {
      const char c = fText[i];
      if (quoted) {
        if (c == '\\') ++i;
        else if (c == '"') quoted = false;
      } else if (c == '"') {
        quoted = true;
      } else if (c == ';') {
        ++i;
        break;
      }
    }
    fPos = std::min(i, fText.size());
  }

  bool parseEntry(StringTable& table) {
    std::string key;
    if (!parseString(key)) return false;
    skipSpaceAndComments();
    if (atEnd()) return false;
    if (peek() == ';') {  // "KEY"; stands for "KEY" = "KEY";
      ++fPos;
      table[key] = key;
      return true;
    }
    if (peek() != '=') return false;
    ++fPos;
    skipSpaceAndComments();
    std::string value;
    if (atEnd() || !parseString(value)) return false;
    skipSpaceAndComments();
    if (atEnd() || peek() != ';') return false;
    ++fPos;
    table[std::move(key)] = std::move(value);
    return true;
  }

  bool parseString(std::string& out) {
    if (atEnd()) return false;
    if (peek() == '"') return parseQuoted(out);
    const size_t start = fPos;
    while (!atEnd() && isUnquotedChar(peek())) ++fPos;
    if (fPos == start) return false;
    out.assign(fText.substr(start, fPos - start));
    return true;
  }

  bool parseQuoted(std::string& out) {
    ++fPos;  // opening quote
    char16_t pendingHigh = 0;  // a high surrogate from \U waiting for its low half
    auto flushHigh = [&] {
      if (pendingHigh) appendUtf8(out, 0xFFFD);
      pendingHigh = 0;
    };
    while (!atEnd()) {
      const char c = fText[fPos++];
      if (c == '"') {
        flushHigh();
        return true;
      }
      if (c != '\\') {
        flushHigh();
        out += c;
        continue;
      }
      if (atEnd()) return false;
      const char e = fText[fPos++];
      if (e == 'U' || e == 'u') {
        char32_t v = 0;
        int digits = 0;
        while (digits < 4 && !atEnd() && hexValue(peek()) >= 0) {
          v = v * 16 + static_cast<char32_t>(hexValue(fText[fPos++]));
          ++digits;
        }
        if (digits == 0) {
          flushHigh();
          out += e;
          continue;
        }
        if (v >= 0xD800 && v <= 0xDBFF) {
          flushHigh();
          pendingHigh = static_cast<char16_t>(v);
        } else if (v >= 0xDC00 && v <= 0xDFFF && pendingHigh) {
          appendUtf8(out, 0x10000 + ((char32_t{pendingHigh} - 0xD800) << 10) + (v - 0xDC00));
          pendingHigh = 0;
        } else {
          flushHigh();
          appendUtf8(out, v);
        }
        continue;
      }
      flushHigh();
      if (e >= '0' && e <= '7') {
        unsigned v = static_cast<unsigned>(e - '0');
        for (int n = 1; n < 3 && !atEnd() && peek() >= '0' && peek() <= '7'; ++n)
          v = v * 8 + static_cast<unsigned>(fText[fPos++] - '0');
        appendUtf8(out, v & 0xFF);
        continue;
      }
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        default: out += e; break;  // \" \\ \' and any other character stand for themselves
      }
    }
    return false;  // unterminated
  }

  std::string_view fText;
  size_t fPos = 0;
};

bool isDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string& mainResourceOverride() {
  static std::string path;
  return path;
}

}  // namespace

StringTable parseStringsFile(std::string_view text) {
  if (text.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(text[0]);
    const auto b1 = static_cast<unsigned char>(text[1]);
    if (b0 == 0xFF && b1 == 0xFE) return StringsParser(utf16ToUtf8(text.substr(2), false)).parse();
    if (b0 == 0xFE && b1 == 0xFF) return StringsParser(utf16ToUtf8(text.substr(2), true)).parse();
  }
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return StringsParser(text).parse();
}

std::vector<std::string> languagesForLocale(std::string_view locale) {
  const size_t cut = locale.find_first_of(".@");
  std::string name(locale.substr(0, cut));
  std::replace(name.begin(), name.end(), '-', '_');
  if (name.empty() || name == "C" || name == "POSIX") return {};
  std::vector<std::string> out{name};
  const size_t underscore = name.find('_');
  if (underscore != std::string::npos && underscore > 0) out.push_back(name.substr(0, underscore));
  return out;
}

std::string userLocaleName() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  return "";
}

Bundle::Bundle(std::string resourcePath) : fState(std::make_shared<State>()) {
  fState->resourcePath = std::move(resourcePath);
}

Bundle::Bundle(std::string resourcePath, std::string language) : Bundle(std::move(resourcePath)) {
  fState->language = std::move(language);
}

std::optional<Bundle> Bundle::withBundlePath(const std::string& bundlePath,
                                             std::optional<std::string> language) {
  pl::DictRef info = pl::readDictFile(files::join(bundlePath, "Contents/Info.plist"));
  if (!info) return std::nullopt;
  Bundle bundle(files::join(bundlePath, "Contents/Resources"));
  bundle.fState->bundlePath = bundlePath;
  bundle.fState->info = std::move(info);
  bundle.fState->language = std::move(language);
  return bundle;
}

std::string Bundle::infoString(const std::string& key) const {
  if (!fState->info) return "";
  const pl::StringRef text = pl::asString(fState->info->get(key));
  return text ? text->value() : "";
}

std::string Bundle::executablePath() const {
  const std::string name = infoString("CFBundleExecutable");
  if (fState->bundlePath.empty() || name.empty() || name.find('/') != std::string::npos) return "";
  return files::join(fState->bundlePath, "Contents/MacOS/" + name);
}

const Bundle& Bundle::main() {
  static Bundle bundle(VANTREL_RESOURCE_DIR);
  const std::string& wanted =
      mainResourceOverride().empty() ? std::string(VANTREL_RESOURCE_DIR) : mainResourceOverride();
  if (bundle.resourcePath() != wanted) bundle = Bundle(wanted);
  return bundle;
}

void Bundle::setMainResourcePath(const std::string& path) { mainResourceOverride() = path; }

std::string Bundle::pathForResource(const std::string& name, const std::string& ext) const {
  const std::string path = files::join(resourcePath(), ext.empty() ? name : name + "." + ext);
  return files::exists(path) ? path : "";
}

std::vector<std::string> Bundle::localizations() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(resourcePath(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    constexpr std::string_view kSuffix = ".lproj";
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && isDirectory(it->path().string()))
      out.push_back(name.substr(0, name.size() - kSuffix.size()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Bundle::lookupLanguages() const {
  std::vector<std::string> wanted = fState->language ? languagesForLocale(*fState->language)
                                                    : languagesForLocale(userLocaleName());
  for (const char* fallback : {"en", "English", "Base"}) wanted.emplace_back(fallback);

  std::vector<std::string> out;
  auto add = [&](const std::string& lang) {
    if (std::find(out.begin(), out.end(), lang) == out.end() &&
        isDirectory(files::join(resourcePath(), lang + ".lproj")))
      out.push_back(lang);
  };
  for (const auto& lang : wanted) {
    add(lang);
    std::string dashed = lang;
    std::replace(dashed.begin(), dashed.end(), '_', '-');
    if (dashed != lang) add(dashed);
  }
  return out;
}

const StringTable& Bundle::loadTable(const std::string& language, const std::string& table) const {
  const std::string cacheKey = language + "/" + table;
  auto it = fState->tables.find(cacheKey);
  if (it != fState->tables.end()) return it->second;
  StringTable parsed;
  if (auto text = files::readWhole(files::join(resourcePath(), language + ".lproj/" + table + ".strings")))
    parsed = parseStringsFile(*text);
  return fState->tables.emplace(cacheKey, std::move(parsed)).first->second;
}

std::string Bundle::localizedString(const std::string& key, const std::string& value,
                                    const std::string& table) const {
  const std::string tableName = table.empty() ? "Localizable" : table;
  for (const auto& language : lookupLanguages()) {
    const StringTable& strings = loadTable(language, tableName);
    auto it = strings.find(key);
    if (it != strings.end()) return it->second;
  }
  return value.empty() ? key : value;
}

}  // namespace platform
