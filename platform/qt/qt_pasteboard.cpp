#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
QClipboard* Clipboard() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                     : nullptr;
}
}  // namespace

std::vector<std::string> QtPasteboard::types() const {
  std::vector<std::string> out;
  QClipboard* clipboard = Clipboard();
  const QMimeData* md = clipboard ? clipboard->mimeData() : nullptr;
  if (!md) return out;
  for (const QString& f : md->formats()) out.push_back(f.toStdString());
  return out;
}

std::optional<std::vector<uint8_t>> QtPasteboard::dataForType(const std::string& type) const {
  QClipboard* clipboard = Clipboard();
  const QMimeData* md = clipboard ? clipboard->mimeData() : nullptr;
  const QString format = QString::fromStdString(type);
  if (!md || !md->hasFormat(format)) return std::nullopt;
  const QByteArray bytes = md->data(format);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void QtPasteboard::declareTypes(const std::vector<std::string>& types) {
  fDeclared.clear();
  for (const std::string& t : types) {
    const QString format = QString::fromStdString(t);
    bool seen = false;
    for (const auto& d : fDeclared) seen = seen || d.first == format;
    if (!seen) fDeclared.emplace_back(format, QByteArray());
  }
  publish();
}

bool QtPasteboard::setData(const std::vector<uint8_t>& data, const std::string& type) {
  QClipboard* clipboard = Clipboard();
  // Someone else took the clipboard since our declaration: the data is not ours to set.
  if (!clipboard || clipboard->mimeData() != fPublished) return false;
  const QString format = QString::fromStdString(type);
  for (auto& d : fDeclared) {
    if (d.first == format) {
      d.second = QByteArray(reinterpret_cast<const char*>(data.data()),
                            static_cast<qsizetype>(data.size()));
      publish();
      return true;
    }
  }
  return false;
}

void QtPasteboard::publish() {
  QClipboard* clipboard = Clipboard();
  if (!clipboard) return;
  auto* md = new QMimeData;
  for (const auto& [format, bytes] : fDeclared) md->setData(format, bytes);
  clipboard->setMimeData(md);  // the clipboard owns it
  fPublished = clipboard->mimeData();
}
