// The settings file: where it lives, how the helper reads it, how the pane loads it (merging the
// factory settings in) and saves it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/plist.h"

// The user's settings file: $HOME/Library/Preferences/com.halvorn.vantrel.settings.plist.
std::string VantrelSettingsPath();
// The factory settings "DefaultSettings.plist" in the resources of the main bundle (the helper's
// bundle for the helper, the pane's for code linked into the pane).
std::string VantrelDefaultSettingsPath();

// How the pane tells the helper that something changed. The transport (a distributed
// notification "com.halvorn.vantrel.command") is behind this interface.
class CommandSender {
 public:
  virtual ~CommandSender() = default;
  virtual void postCommand(const pl::Dictionary& command) = 0;
};

// ---- reading --------------------------------------------------------------------------------
// The largest settings file either program reads. The panel writes about 2.5 KB of XML for a
// profile (the factory profiles), at most about 8 KB for one whose every button carries a long
// path or script and a label. A user with thousands of application profiles, say 2000 of the
// largest kind, and ten snippets of long text (100 KB each) has a file of 17 MB; the bound is
// about twice that. A larger file is no settings file the panel wrote: it is refused by its size
// before anything of it is read (a read costs about ten times the file's size in memory).
inline constexpr size_t kMaxSettingsFileBytes = 32 * 1024 * 1024;

// The settings file (or the factory file) parsed; null when it is missing, unreadable, larger
// than kMaxSettingsFileBytes or not a property list.
pl::ObjectRef VantrelReadSettingsFile(const std::string& path);

// ---- usability rules ------------------------------------------------------------------------
// The helper uses a parsed file whose top level is a dictionary with "version" 3 or more.
bool VantrelHelperCanUse(const pl::ObjectRef& parsed);
// The pane also needs a non-empty "devices" array.
bool VantrelPaneCanUse(const pl::ObjectRef& parsed);

// ---- helper ---------------------------------------------------------------------------------
// The helper's read: the settings file when it is usable by the helper's rules, else the
// factory file (read as it is), else null. Never merges, never writes. A file larger than
// kMaxSettingsFileBytes is not usable.
pl::DictRef VantrelReadHelperPrefs(const std::string& settingsPath, const std::string& factoryPath);

// ---- pane -----------------------------------------------------------------------------------
// Merges the factory dictionary into the user dictionary: every factory profile whose
// "device product id", "device version min" and "device version max" no user profile has is
// appended (the factory object itself); a matching user profile without "param" gains the
// factory's; the factory "snippets" are taken when the user has none.
void VantrelMergeFactoryPrefs(pl::Dictionary& user, const pl::DictRef& factory);

// What the pane's load did, for callers that want to tell (tools, tests).
struct PaneLoadReport {
  bool usedUserFile = false;      // the user's file was usable and is the result
  bool wroteFactory = false;      // the factory settings were written to the settings file
  std::optional<std::string> backupPath;  // where an unusable user file was kept
};

// The pane's load. Returns the merged dictionary, or null when neither file gives one.
// With a factory file but no usable user file, the factory dictionary is written to the
// settings file at once (through VantrelSavePrefs, so `sender` gets "update"); a user file that
// exists but is unusable (larger than kMaxSettingsFileBytes, too) is first renamed beside itself ("<path>.bak", or ".bak.1", ".bak.2",
// ... when earlier backups exist). If that rename fails, the file is left alone and nothing is
// written. `sender` may be null.
pl::DictRef VantrelLoadPanePrefs(const std::string& settingsPath, const std::string& factoryPath,
                                 CommandSender* sender, PaneLoadReport* report = nullptr);

// The pane's save: writes the dictionary as an XML property list, replacing the file atomically,
// then posts {"command": "update"} through `sender` (may be null). False, without a post, when
// the dictionary cannot be serialised or the write failed (the old file is then intact).
bool VantrelSavePrefs(const pl::Dictionary& prefs, const std::string& settingsPath,
                      CommandSender* sender);

// Renames an existing file to the first free name of "<path>.bak", "<path>.bak.1", ... without
// ever replacing an existing file. The new name, or nothing when the rename failed.
std::optional<std::string> VantrelBackupFile(const std::string& path);
