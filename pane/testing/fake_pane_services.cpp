#include "pane/testing/fake_pane_services.h"

#include <cmath>

#include "settings/protocol.h"

namespace panesvc {

bool FakeNotifications::post(const std::string& name, const std::string& object) {
  if (failPost) return false;
  posted.push_back({name, object});
  return true;
}

bool FakeNotifications::observe(const std::string& name, Handler handler) {
  handlers_[name] = std::move(handler);
  return true;
}

void FakeNotifications::deliver(const std::string& name, const std::optional<std::string>& object) {
  auto it = handlers_.find(name);
  if (it == handlers_.end()) return;
  Handler handler = it->second;  // the handler may stop observing
  handler(object);
}

std::vector<pl::DictRef> FakeNotifications::dictionaries(const std::string& name) const {
  std::vector<pl::DictRef> out;
  for (const Posted& p : posted) {
    if (p.name != name) continue;
    if (pl::DictRef dict = protocol::decodeDictionary(p.object)) out.push_back(dict);
  }
  return out;
}

std::vector<std::string> FakeNotifications::commands(const std::string& name) const {
  std::vector<std::string> out;
  for (const pl::DictRef& dict : dictionaries(name)) {
    std::string word = dict->stringValue("command");
    if (word == "front") word += dict->boolValue("front") ? " true" : " false";
    out.push_back(word);
  }
  return out;
}

namespace {
class FakeTimer final : public Timer {
 public:
  explicit FakeTimer(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
  ~FakeTimer() override { *alive_ = false; }

 private:
  std::shared_ptr<bool> alive_;
};
}  // namespace

std::unique_ptr<Timer> FakeClock::scheduleRepeating(double seconds, std::function<void()> tick) {
  auto alive = std::make_shared<bool>(true);
  timers_.push_back({seconds, time + seconds, std::move(tick), alive});
  return std::make_unique<FakeTimer>(alive);
}

void FakeClock::advance(double seconds) {
  const double end = time + seconds;
  for (;;) {
    // The earliest live timer due by the end.
    Entry* due = nullptr;
    for (Entry& e : timers_) {
      if (*e.alive && e.next <= end && (due == nullptr || e.next < due->next)) due = &e;
    }
    if (due == nullptr) break;
    time = due->next;
    due->next += due->interval;
    std::function<void()> tick = due->tick;  // the tick may add timers
    tick();
  }
  time = end;
  std::erase_if(timers_, [](const Entry& e) { return !*e.alive; });
}

size_t FakeClock::runPosted() {
  size_t ran = 0;
  while (!posted_.empty()) {
    std::vector<std::function<void()>> batch;
    batch.swap(posted_);
    for (auto& work : batch) {
      work();
      ++ran;
    }
  }
  return ran;
}

size_t FakeClock::liveTimers() const {
  size_t n = 0;
  for (const Entry& e : timers_) n += *e.alive ? 1 : 0;
  return n;
}

FakePaneWorld::FakePaneWorld() {
  settingsPath = folder.filePath(QStringLiteral("Library/Preferences/com.halvorn.vantrel.settings.plist")).toStdString();
  factoryPath = folder.filePath(QStringLiteral("DefaultSettings.plist")).toStdString();
}

PaneServices FakePaneWorld::services() {
  PaneServices s;
  s.files = {settingsPath, factoryPath};
  s.notifications = &notifications;
  s.hid = &hid;
  s.runLoop = &runLoop;
  s.clock = &clock;
  s.processes = &processes;
  s.workspace = &workspace;
  s.loginItems = &loginItems;
  return s;
}

void FakePaneWorld::settle() {
  for (int i = 0; i < 10; ++i) {
    const size_t work = runLoop.runPending() + clock.runPosted();
    if (work == 0) break;
  }
}

}  // namespace panesvc
