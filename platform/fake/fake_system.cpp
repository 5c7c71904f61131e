#include "platform/fake/fake_system.h"

#include <algorithm>

namespace sys {

// ---- processes ---------------------------------------------------------------------------------

ProcessSerialNumber FakeProcessManager::addProcess(const std::string& name) {
  const ProcessSerialNumber psn{0, static_cast<uint32_t>(100 + processes_.size())};
  processes_.push_back(Entry{psn, name});
  if (processes_.size() == 1) current_ = psn;
  return psn;
}

OSErr FakeProcessManager::GetCurrentProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  *psn = current_;
  return noErr;
}

OSErr FakeProcessManager::GetNextProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  size_t next = 0;
  if (!(psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kNoProcess)) {
    auto it = std::find_if(processes_.begin(), processes_.end(),
                           [&](const Entry& e) { return e.psn == *psn; });
    if (it == processes_.end()) return paramErr;
    next = static_cast<size_t>(it - processes_.begin()) + 1;
  }
  if (next >= processes_.size()) {
    *psn = ProcessSerialNumber{0, kNoProcess};
    return procNotFound;
  }
  *psn = processes_[next].psn;
  return noErr;
}

OSErr FakeProcessManager::GetProcessInformation(const ProcessSerialNumber& psn,
                                                ProcessInfoRec* info) {
  ++infoRequests_;
  if (info == nullptr) return paramErr;
  ProcessSerialNumber which = psn;
  if (which.highLongOfPSN == 0 && which.lowLongOfPSN == kCurrentProcess) which = current_;
  auto err = infoErrors_.find(which.lowLongOfPSN);
  if (err != infoErrors_.end()) return err->second;
  auto it = std::find_if(processes_.begin(), processes_.end(),
                         [&](const Entry& e) { return e.psn == which; });
  if (it == processes_.end()) return procNotFound;
  if (info->processName != nullptr) {
    const size_t n = std::min<size_t>(it->name.size(), 255);
    info->processName[0] = static_cast<unsigned char>(n);
    std::copy_n(it->name.begin(), n, info->processName + 1);
  }
  const auto date = launchDates_.find(which.lowLongOfPSN);
  info->processLaunchDate = date != launchDates_.end() ? date->second : 0;
  return noErr;
}

OSErr FakeProcessManager::SameProcess(const ProcessSerialNumber& a, const ProcessSerialNumber& b,
                                      bool* result) {
  if (result == nullptr) return paramErr;
  auto resolve = [&](ProcessSerialNumber p) {
    return (p.highLongOfPSN == 0 && p.lowLongOfPSN == kCurrentProcess) ? current_ : p;
  };
  *result = resolve(a) == resolve(b);
  return noErr;
}

// ---- session -------------------------------------------------------------------------------------

void FakeConsoleSession::setOnConsole(bool on) {
  dict_ = pl::makeDict();
  dict_->setBool(kCGSessionOnConsoleKey, on);
}

// ---- accessibility ------------------------------------------------------------------------------

FakeAccessibility::FakeAccessibility()
    : systemWide(std::make_shared<FakeAXElement>("AXSystemWide")),
      application(std::make_shared<FakeAXElement>("AXApplication")),
      window(std::make_shared<FakeAXElement>("AXWindow")),
      button(std::make_shared<FakeAXElement>("AXButton")) {
  showNothing();
}

std::vector<AXUIElementRef> FakeAccessibility::makeChildren(size_t n) {
  std::vector<AXUIElementRef> v;
  for (size_t i = 0; i < n; ++i) v.push_back(std::make_shared<FakeAXElement>("AXStaticText"));
  return v;
}

void FakeAccessibility::showDialog(CGPoint position, CGSize size, size_t children,
                                   bool buttonEnabled) {
  systemWide->attributes[kAXFocusedApplicationAttribute] = AXUIElementRef(application);
  application->attributes[kAXFocusedWindowAttribute] = AXUIElementRef(window);
  window->attributes[kAXDefaultButtonAttribute] = AXUIElementRef(button);
  window->attributes[kAXChildrenAttribute] = makeChildren(children);
  button->attributes[kAXEnabledAttribute] = buttonEnabled;
  button->attributes[kAXPositionAttribute] = position;
  button->attributes[kAXSizeAttribute] = size;
}

void FakeAccessibility::showPlainWindow(size_t children) {
  systemWide->attributes[kAXFocusedApplicationAttribute] = AXUIElementRef(application);
  application->attributes[kAXFocusedWindowAttribute] = AXUIElementRef(window);
  window->attributes.erase(kAXDefaultButtonAttribute);
  window->attributes[kAXChildrenAttribute] = makeChildren(children);
}

void FakeAccessibility::showNothing() {
  systemWide->attributes.erase(kAXFocusedApplicationAttribute);
}

AXUIElementRef FakeAccessibility::AXUIElementCreateSystemWide() {
  ++creations_;
  return systemWide;
}

AXError FakeAccessibility::AXUIElementCopyAttributeValue(const AXUIElementRef& element,
                                                         std::string_view attribute,
                                                         AXValue* value) {
  if (!enabled) return kAXErrorAPIDisabled;
  const auto* e = dynamic_cast<const FakeAXElement*>(element.get());
  if (e == nullptr || value == nullptr) return kAXErrorIllegalArgument;
  if (auto err = e->errors.find(attribute); err != e->errors.end()) return err->second;
  auto it = e->attributes.find(attribute);
  if (it == e->attributes.end()) return kAXErrorNoValue;
  *value = it->second;
  return kAXErrorSuccess;
}

AXError FakeAccessibility::AXUIElementGetAttributeValueCount(const AXUIElementRef& element,
                                                             std::string_view attribute,
                                                             long* count) {
  if (!enabled) return kAXErrorAPIDisabled;
  const auto* e = dynamic_cast<const FakeAXElement*>(element.get());
  if (e == nullptr || count == nullptr) return kAXErrorIllegalArgument;
  if (auto err = e->errors.find(attribute); err != e->errors.end()) return err->second;
  auto it = e->attributes.find(attribute);
  if (it == e->attributes.end()) return kAXErrorNoValue;
  const auto* list = std::get_if<std::vector<AXUIElementRef>>(&it->second);
  if (list == nullptr) return kAXErrorIllegalArgument;
  *count = static_cast<long>(list->size());
  return kAXErrorSuccess;
}

// ---- workspace and bundles ------------------------------------------------------------------------

void FakeWorkspace::activate(const RunningApplication& app) {
  // Observers may remove themselves while being told.
  const auto copy = observers_;
  for (const auto& [token, fn] : copy)
    if (observers_.count(token)) fn(&app);
}

void FakeWorkspace::activateNothing() {
  const auto copy = observers_;
  for (const auto& [token, fn] : copy)
    if (observers_.count(token)) fn(nullptr);
}

int FakeWorkspace::addActivationObserver(ActivationObserver observer) {
  const int token = next_++;
  observers_[token] = std::move(observer);
  return token;
}

pl::DictRef FakeBundleReader::infoDictionary(const std::string& bundleURL) {
  auto it = infos_.find(bundleURL);
  return it == infos_.end() ? nullptr : it->second;
}

// ---- all of it -----------------------------------------------------------------------------------

FakePlatform::FakePlatform() { processes.addProcess("VantrelHelper"); }

Platform FakePlatform::platform() {
  return platformOf(*this);
}

}  // namespace sys
