// Desktop entry files (the freedesktop.org "key files" that name applications, autostart items
// and default applications) as the desktops read them. Qt-free; shared by the login items, the
// helper's front-application tracking and the panel's application chooser.
//
// A key file is valid UTF-8 without NUL bytes, made of blank lines, comments ("#..."), group
// headers ("[Name]", no brackets or control characters inside) and "Key=Value" lines (blanks
// around '=' ignored; a key is a name, optionally with one "[locale]"). Any other line, a key
// before the first group or a header not closed makes the whole file unreadable: nothing is
// taken from a file the desktop would refuse. Values have their string escapes undone (\s \n
// \t \r \\); other backslashes stay, so that Exec keeps its own quoting. The last of a repeated
// key wins.
//
// Exec values: double-quoted arguments (in which a backslash makes '"', '`', '$' and itself
// plain characters), single quotes and backslashes outside quotes as a shell reads them (as the
// common desktops accept), field codes (%% is "%", %c the name, %k the entry's file, the others
// stand for nothing here). A leading "env [options] [NAME=VALUE]..." is skipped to the program
// it starts.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sys::xdg {

// No desktop entry or list of default applications is larger than this.
inline constexpr size_t kMaxDesktopEntrySize = 1 << 20;

// The groups of a key file, by name; each group's keys in file order (repeats kept, the last
// one counts).
struct KeyFile {
  std::map<std::string, std::vector<std::pair<std::string, std::string>>, std::less<>> groups;
  // The value of `key` in `group` (the last one); none when absent.
  std::optional<std::string> value(std::string_view group, std::string_view key) const;
};

std::optional<KeyFile> parseKeyFile(std::string_view text);
// The file at `path` when it is a regular file (or a link to one) of at most
// kMaxDesktopEntrySize bytes and a valid key file.
std::optional<KeyFile> readKeyFile(const std::string& path);

struct DesktopEntry {
  // The values of the [Desktop Entry] group; none when absent.
  std::optional<std::string> type;
  std::optional<std::string> name;
  std::optional<std::string> exec;
  std::optional<std::string> startupWMClass;
  std::optional<std::string> icon;
  std::vector<std::pair<std::string, std::string>> localizedNames;  // Name[locale] -> value
  std::vector<std::string> mimeTypes;                               // MimeType, split at ';'
  bool hidden = false;     // Hidden=true: the entry counts as deleted
  bool noDisplay = false;  // NoDisplay=true: not shown in menus, still an application

  // The Name for a locale ("de_CH.UTF-8@euro"), matched as desktop entries match locales:
  // lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang, then Name; "" without any.
  std::string nameFor(std::string_view locale) const;
};

// The [Desktop Entry] group of a desktop entry file; nothing when the text is not a valid key
// file or has no such group.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);
std::optional<DesktopEntry> readDesktopEntry(const std::string& path);

// The arguments of an Exec value (string escapes already undone); `name` and `entryPath` stand
// for %c and %k. Nothing when a quote is not closed.
std::optional<std::vector<std::string>> execArguments(std::string_view exec,
                                                      std::string_view name = {},
                                                      std::string_view entryPath = {});

// The program that Exec's arguments start, past an env prefix; nothing when there is none.
std::optional<std::string> execProgram(const std::vector<std::string>& arguments);
// The program of an Exec value itself; nothing when it names none.
std::optional<std::string> execProgramOf(std::string_view exec);

// The Exec value that starts `program` without arguments (through env when an absolute path
// holds a '%'), and a value escaped for a desktop entry line.
std::string execValueFor(std::string_view program);
std::string escapeValue(std::string_view value);

// Where a program named in an Exec value lies: an absolute path as it is (when it is a regular
// file), a bare name in the first absolute folder of `searchPath` (folders separated by ':')
// that holds it as an executable file; a relative path with a slash names nothing (there is no
// working folder at login). The result is in the form fileLocation() gives.
std::optional<std::string> findProgram(const std::string& program, std::string_view searchPath);

// The file name of a path ("tool" of "/usr/bin/tool").
std::string fileNameOf(std::string_view path);

}  // namespace sys::xdg
