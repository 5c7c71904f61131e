// The session state from systemd-logind: the helper's session is "on the console" while logind
// reports it "Active". The state is read once when the object is made and then kept current from
// logind's change signals, so asking for it never blocks. Without a system bus, or when this
// process belongs to no logind session, there is no session dictionary (the helper then counts
// itself on the console).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

#include "platform/system_services.h"

namespace sys {

class LogindSession final : public QObject, public ConsoleSession {
  Q_OBJECT

 public:
  LogindSession();
  pl::DictRef CGSessionCopyCurrentDictionary() override;
  // The logind object path of the session; empty when there is none.
  const QString& sessionPath() const { return path_; }

 private Q_SLOTS:
  void propertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated);

 private:
  void readActive();

  QString path_;
  std::optional<bool> active_;
};

}  // namespace sys
