#include "pane/host/sim_front_app.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QJsonDocument>

#include "platform/four_char_code.h"
#include "sim/sim_names.h"

namespace settingshost {
namespace {

constexpr char kSystemPreferencesID[] = "com.apple.systempreferences";

QJsonObject systemPreferences() {
  return {{"bundle_id", kSystemPreferencesID},
          {"name", "System Preferences"},
          {"executable", "System Preferences"},
          {"signature", "sprf"}};
}

QJsonObject finder() {
  return {{"bundle_id", "com.apple.finder"}, {"name", "Finder"}, {"executable", "Finder"}, {"signature", "MACS"}};
}

QString compact(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

}  // namespace

SimFrontApplication::SimFrontApplication(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), fLink(bus) {
  fLink.onPresenceChanged([this](bool present) {
    if (!present) {
      // A new simulator knows nothing of this one's front application or processes.
      fFront = fEverFront = false;
      fPrevious = {};
      return;
    }
    if (fActive) bringHostToFront();
  });
}

void SimFrontApplication::setHostActive(bool active) {
  if (active == fActive) return;
  fActive = active;
  if (active) bringHostToFront();
  else giveFrontBack(false);
}

void SimFrontApplication::hostQuits() {
  fActive = false;
  if (!fLink.present()) return;
  giveFrontBack(true);
  if (fEverFront) send("RemoveProcess", {FourCharCode("sprf")}, true);
  fEverFront = false;
}

void SimFrontApplication::bringHostToFront() {
  if (!fLink.present() || fFront || fAsking) return;
  // Which application the host takes the front from, then the host in front.
  fAsking = true;
  auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kSystemPath, simbus::kSystemInterface,
                                          "FrontApplication");
  auto* watcher = new QDBusPendingCallWatcher(fLink.bus().asyncCall(m, 5000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
    watcher->deleteLater();
    fAsking = false;
    if (!fActive || fFront || !fLink.present()) return;
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      const QJsonObject front = QJsonDocument::fromJson(reply.arguments().first().toString().toUtf8()).object();
      const bool someone = !front["bundle_id"].toString().isEmpty() || !front["name"].toString().isEmpty() ||
                           !front["executable"].toString().isEmpty();
      if (someone && front["bundle_id"].toString() != kSystemPreferencesID) fPrevious = front;
    }
    send("Activate", {compact(systemPreferences())}, false);
    fFront = fEverFront = true;
  });
}

void SimFrontApplication::giveFrontBack(bool wait) {
  if (!fFront || !fLink.present()) return;
  fFront = false;
  send("Activate", {compact(fPrevious.isEmpty() ? finder() : fPrevious)}, wait);
}

void SimFrontApplication::send(const char* method, const QList<QVariant>& arguments, bool wait) {
  auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
  m.setArguments(arguments);
  if (wait) fLink.bus().call(m, QDBus::Block, 2000);
  else fLink.bus().asyncCall(m);
}

}  // namespace settingshost
