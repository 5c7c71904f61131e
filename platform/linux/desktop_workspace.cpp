#include "platform/linux/desktop_workspace.h"

namespace sys {

namespace {

// A URL of a file path: the characters a path may hold escaped as URLs need.
std::string fileURL(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F || c == '%' || c == '#' || c == '?') {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace

int DesktopWorkspace::addActivationObserver(ActivationObserver observer) {
  observers_[++next_] = std::move(observer);
  return next_;
}

void DesktopWorkspace::removeActivationObserver(int token) { observers_.erase(token); }

void DesktopWorkspace::windowActivated(const std::optional<xdg::WindowHints>& hints, const char* source) {
  if (!preferred_.empty() && preferred_ != source) return;
  Seen now;
  now.any = true;
  now.source = source;
  now.window = hints.has_value();
  if (hints) {
    now.hints = *hints;
    if (const xdg::Application* app = index_.forWindow(*hints, &now.matchedBy)) {
      now.entryPath = app->path;
      now.identity = xdg::identityOf(*app);
    } else {
      now.identity = xdg::identityOfWindow(*hints);
    }
  }
  const bool same = seen_.any && seen_.identity == now.identity && seen_.hints.pid == now.hints.pid &&
                    seen_.window == now.window;
  seen_ = std::move(now);
  if (same) return;

  RunningApplication app;
  if (seen_.window) {
    const std::string& program = seen_.hints.programPath;
    if (!seen_.identity.bundleIdentifier.empty()) app.bundleIdentifier = seen_.identity.bundleIdentifier;
    const std::string bundle = !seen_.entryPath.empty() ? seen_.entryPath : program;
    // A window of a program this machine cannot see (another host's, or one that is gone)
    // still has a name: its place is made up from it.
    app.bundleURL = fileURL(!bundle.empty() ? bundle : "/" + seen_.identity.name);
    if (!program.empty()) app.executableURL = fileURL(program);
    infos_[*app.bundleURL] = xdg::infoDictionaryOf(seen_.identity);
  }
  // Observers may add or remove observers while they run.
  const auto observers = observers_;
  for (const auto& [token, observer] : observers)
    if (observers_.count(token)) observer(&app);
}

pl::DictRef DesktopWorkspace::infoFor(const std::string& bundleURL) const {
  const auto it = infos_.find(bundleURL);
  return it == infos_.end() ? nullptr : pl::deepCopyDict(it->second);
}

pl::DictRef DesktopBundleReader::infoDictionary(const std::string& bundleURL) {
  if (pl::DictRef info = workspace_.infoFor(bundleURL)) return info;
  return bundles_.infoDictionary(bundleURL);
}

}  // namespace sys
