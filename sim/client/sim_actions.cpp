#include "sim/client/sim_actions.h"

#include <QDBusArgument>
#include <QStringList>

namespace simbus {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

// ---- processes and Apple events ---------------------------------------------------------------

bool SimAppleEventServices::refresh() {
  const auto r = link_.callSystem("Processes");
  if (!r || r->size() < 5) return false;
  const auto high = qdbus_cast<QList<uint>>((*r)[1]);
  const auto low = qdbus_cast<QList<uint>>((*r)[2]);
  const auto sigs = qdbus_cast<QList<uint>>((*r)[3]);
  processes_.clear();
  for (qsizetype i = 0; i < high.size() && i < low.size() && i < sigs.size(); ++i)
    processes_.push_back({{high[i], low[i]}, sigs[i]});
  return true;
}

int32_t SimAppleEventServices::getNextProcess(sys::ProcessSerialNumber* psn) {
  if (!link_.present()) return fallback_.getNextProcess(psn);
  if (!psn) return sys::paramErr;
  if (*psn == sys::ProcessSerialNumber{0, sys::kNoProcess}) {
    if (!refresh() || processes_.empty()) return sys::procNotFound;
    *psn = processes_.front().psn;
    return sys::noErr;
  }
  for (size_t i = 0; i < processes_.size(); ++i) {
    if (processes_[i].psn == *psn) {
      if (i + 1 >= processes_.size()) return sys::procNotFound;
      *psn = processes_[i + 1].psn;
      return sys::noErr;
    }
  }
  return sys::procNotFound;
}

int32_t SimAppleEventServices::getProcessSignature(const sys::ProcessSerialNumber& psn, uint32_t* signature) {
  if (!link_.present()) return fallback_.getProcessSignature(psn, signature);
  for (const auto& p : processes_) {
    if (p.psn == psn) {
      if (signature) *signature = p.signature;
      return sys::noErr;
    }
  }
  return sys::procNotFound;
}

int32_t SimAppleEventServices::openApplicationWithCreator(uint32_t creator) {
  if (!link_.present()) return fallback_.openApplicationWithCreator(creator);
  const auto r = link_.callSystem("OpenApplicationWithCreator", {creator});
  return r && !r->isEmpty() ? (*r)[0].toInt() : sys::kLSApplicationNotFoundErr;
}

int32_t SimAppleEventServices::sendAppleEvent(const sys::AppleEvent& e) {
  if (!link_.present()) return fallback_.sendAppleEvent(e);
  const auto r = link_.callSystem("SendAppleEvent",
                                  {e.addressType, e.target.highLongOfPSN, e.target.lowLongOfPSN, e.eventClass,
                                   e.eventID, static_cast<int>(e.returnID), e.transactionID, e.sendMode, e.timeout});
  return r && !r->isEmpty() ? (*r)[0].toInt() : sys::procNotFound;
}

// ---- scripts and workspace --------------------------------------------------------------------

int32_t SimScriptRunner::runAppleScript(const std::string& source) {
  if (!link_.present()) return fallback_.runAppleScript(source);
  const auto r = link_.callSystem("RunScript", {q(source)});
  return r && !r->isEmpty() ? (*r)[0].toInt() : sys::kOSAScriptError;
}

bool SimWorkspaceActions::ask(const char* method, const QList<QVariant>& args) {
  const auto r = link_.callSystem(method, args);
  return r && !r->isEmpty() && (*r)[0].toBool();
}

bool SimWorkspaceActions::openFile(const std::string& path) {
  return link_.present() ? ask("OpenFile", {q(path)}) : fallback_.openFile(path);
}
bool SimWorkspaceActions::launchApplication(const std::string& nameOrPath) {
  return link_.present() ? ask("LaunchApplication", {q(nameOrPath)}) : fallback_.launchApplication(nameOrPath);
}
bool SimWorkspaceActions::launchAppWithBundleIdentifier(const std::string& bundleID, uint32_t options) {
  return link_.present() ? ask("LaunchBundle", {q(bundleID), options})
                         : fallback_.launchAppWithBundleIdentifier(bundleID, options);
}
bool SimWorkspaceActions::openURL(const std::string& url) {
  return link_.present() ? ask("OpenURL", {q(url)}) : fallback_.openURL(url);
}

// ---- pasteboard -------------------------------------------------------------------------------

std::vector<std::string> SimPasteboard::types() const {
  if (!link_.present()) return fallback_.types();
  std::vector<std::string> out;
  if (const auto r = link_.callSystem("PasteboardTypes"); r && !r->isEmpty())
    for (const auto& t : (*r)[0].toStringList()) out.push_back(t.toStdString());
  return out;
}

std::optional<std::vector<uint8_t>> SimPasteboard::dataForType(const std::string& type) const {
  if (!link_.present()) return fallback_.dataForType(type);
  const auto r = link_.callSystem("PasteboardData", {q(type)});
  if (!r || r->size() < 2 || !(*r)[0].toBool()) return std::nullopt;
  const QByteArray b = (*r)[1].toByteArray();
  return std::vector<uint8_t>(b.begin(), b.end());
}

void SimPasteboard::declareTypes(const std::vector<std::string>& types) {
  if (!link_.present()) return fallback_.declareTypes(types);
  QStringList list;
  for (const auto& t : types) list.append(q(t));
  link_.callSystem("PasteboardDeclare", {list});
}

bool SimPasteboard::setData(const std::vector<uint8_t>& data, const std::string& type) {
  if (!link_.present()) return fallback_.setData(data, type);
  const QByteArray b(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
  const auto r = link_.callSystem("PasteboardSetData", {b, q(type)});
  return r && !r->isEmpty() && (*r)[0].toBool();
}

// ---- snippets menu ----------------------------------------------------------------------------

SimSnippetsMenu::SimSnippetsMenu(SimLink& link, sys::SnippetsMenu& fallback) : link_(link), fallback_(fallback) {
  for (int i = 0; i < kItemCount; ++i) titles_[static_cast<size_t>(i)] = sys::DefaultSnippetsMenuTitle(i);
}

std::string SimSnippetsMenu::itemTitle(int index) const {
  return index >= 0 && index < kItemCount ? titles_[static_cast<size_t>(index)] : std::string();
}

void SimSnippetsMenu::setItemTitle(int index, const std::string& title) {
  if (index < 0 || index >= kItemCount) return;
  titles_[static_cast<size_t>(index)] = title;
  fallback_.setItemTitle(index, title);
}

std::optional<int> SimSnippetsMenu::popUpAtMouseLocation() {
  if (!link_.present()) return fallback_.popUpAtMouseLocation();
  QStringList list;
  for (const auto& t : titles_) list.append(q(t));
  const auto r = link_.callSystem("PopUpSnippetsMenu", {list});
  if (!r || r->isEmpty()) return std::nullopt;
  const int item = (*r)[0].toInt();
  if (item < 0) return std::nullopt;
  return item;
}

}  // namespace simbus
