#include "pane/host/pane_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace settingshost {
namespace {

bool isFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

bool isRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// A principal class name is used to build a C symbol name.
bool isIdentifier(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

bool german() {
  const auto languages = platform::languagesForLocale(platform::userLocaleName());
  return !languages.empty() && languages.back() == "de";
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += "\n" + line;
  return out;
}

}  // namespace

std::vector<std::string> defaultPaneLocations(const std::string& programDir) {
  return {files::join(programDir, kPaneBundleName),
          files::join(programDir, std::string("../lib/vantrel/") + kPaneBundleName)};
}

std::string firstExistingFolder(const std::vector<std::string>& locations) {
  for (const auto& path : locations)
    if (isFolder(path)) return path;
  return "";
}

FailureText describeFailure(const LoadFailure& f, const std::vector<std::string>& searched) {
  using Kind = LoadFailure::Kind;
  const bool de = german();
  FailureText text;
  text.headline = de ? "Vantrel-Einstellungen kann das Einstellungsfeld nicht öffnen."
                     : "Vantrel Settings cannot open its settings panel.";
  switch (f.kind) {
    case Kind::NoBundle:
      if (!searched.empty())
        text.reason = de ? "Das Einstellungsfeld VantrelPrefPane.prefPane wurde nicht gefunden. Gesucht in:" + joined(searched)
                         : "The settings panel VantrelPrefPane.prefPane was not found. Looked in:" + joined(searched);
      else
        text.reason = de ? "Unter " + f.path + " liegt kein Einstellungsfeld."
                         : "There is no settings panel at " + f.path + ".";
      break;
    case Kind::NoInfoDictionary:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " ist beschädigt: Contents/Info.plist fehlt oder ist unlesbar."
                       : "The settings panel " + f.path + " is damaged: Contents/Info.plist is missing or unreadable.";
      break;
    case Kind::NoExecutable:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " ist beschädigt: sein Programm (CFBundleExecutable) fehlt."
                       : "The settings panel " + f.path + " is damaged: its program (CFBundleExecutable) is missing.";
      break;
    case Kind::CannotOpen:
      text.reason = de ? "Das Programm des Einstellungsfelds " + f.path + " lässt sich nicht laden: " + f.detail
                       : "The settings panel's program " + f.path + " cannot be loaded: " + f.detail;
      break;
    case Kind::NoPrincipalClass:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " ist beschädigt: NSPrincipalClass fehlt oder ist ungültig."
                       : "The settings panel " + f.path + " is damaged: NSPrincipalClass is missing or not valid.";
      break;
    case Kind::NoCreateFunction:
      text.reason = de ? "Das Programm des Einstellungsfelds " + f.path + " enthält " + f.detail + " nicht."
                       : "The settings panel's program " + f.path + " does not contain " + f.detail + ".";
      break;
    case Kind::CreateFailed:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " ließ sich nicht anlegen."
                       : "The settings panel " + f.path + " could not be created.";
      break;
    case Kind::InitFailed:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " kann mit seinem Paket nicht arbeiten."
                       : "The settings panel " + f.path + " cannot work with its bundle.";
      break;
    case Kind::NoMainView:
      text.reason = de ? "Das Einstellungsfeld " + f.path + " konnte seine Oberfläche nicht laden."
                       : "The settings panel " + f.path + " could not load its interface.";
      break;
  }
  return text;
}

std::unique_ptr<LoadedPane> LoadedPane::load(const std::string& bundlePath, LoadFailure* failure) {
  using Kind = LoadFailure::Kind;
  auto fail = [&](Kind kind, std::string path, std::string detail = {}) -> std::unique_ptr<LoadedPane> {
    if (failure) *failure = {kind, std::move(path), std::move(detail)};
    return nullptr;
  };
  if (!isFolder(bundlePath)) return fail(Kind::NoBundle, bundlePath);
  std::optional<platform::Bundle> bundle = platform::Bundle::withBundlePath(bundlePath);
  if (!bundle) return fail(Kind::NoInfoDictionary, bundlePath);
  const std::string executable = bundle->executablePath();
  if (executable.empty() || !isRegularFile(executable)) return fail(Kind::NoExecutable, bundlePath);
  const std::string principal = bundle->infoString("NSPrincipalClass");
  if (!isIdentifier(principal)) return fail(Kind::NoPrincipalClass, bundlePath);

  // Never closed: see the header.
  void* handle = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    return fail(Kind::CannotOpen, executable, why ? why : "");
  }
  const std::string symbol = principal + "Create";
  ::dlerror();
  auto create = reinterpret_cast<PreferencePaneCreateFunction>(::dlsym(handle, symbol.c_str()));
  if (create == nullptr) return fail(Kind::NoCreateFunction, executable, symbol);

  PreferencePane* raw = nullptr;
  try {
    raw = create();
  } catch (...) {
    raw = nullptr;
  }
  if (raw == nullptr) return fail(Kind::CreateFailed, bundlePath);
  std::unique_ptr<LoadedPane> loaded(new LoadedPane(std::move(*bundle), raw));
  bool accepted = false;
  try {
    accepted = loaded->fPane->initWithBundle(loaded->fBundle);
  } catch (...) {
    accepted = false;
  }
  if (!accepted) return fail(Kind::InitFailed, bundlePath);
  return loaded;
}

LoadedPane::~LoadedPane() = default;

}  // namespace settingshost
