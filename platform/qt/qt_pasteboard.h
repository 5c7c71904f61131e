// The general pasteboard on the Qt clipboard, which carries several formats (MIME types) at
// once, in the order they were set. Needs a QGuiApplication.
#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

#include "platform/pasteboard.h"

class QMimeData;

class QtPasteboard final : public sys::Pasteboard {
 public:
  std::vector<std::string> types() const override;
  std::optional<std::vector<uint8_t>> dataForType(const std::string& type) const override;
  void declareTypes(const std::vector<std::string>& types) override;
  bool setData(const std::vector<uint8_t>& data, const std::string& type) override;

 private:
  // The clipboard gets a new QMimeData after each change; ours only while nobody else set one.
  void publish();

  std::vector<std::pair<QString, QByteArray>> fDeclared;
  const QMimeData* fPublished = nullptr;
};
