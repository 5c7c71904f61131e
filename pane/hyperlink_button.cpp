#include "pane/hyperlink_button.h"

#include "pane/interface_loader.h"

VantrelHyperlinkButton::VantrelHyperlinkButton(QWidget* parent) : QPushButton(parent) {
  setFlat(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setAutoDefault(false);
  const QColor normal = linkColor(false);
  const QColor alternate = linkColor(true);
  setStyleSheet(QStringLiteral("VantrelHyperlinkButton { color: %1; text-decoration: underline; border: 1px solid "
                               "transparent; background: transparent; padding: 2px 4px; text-align: left; }"
                               "VantrelHyperlinkButton:pressed { color: %2; }"
                               "VantrelHyperlinkButton:focus { border: 1px dotted %1; }")
                    .arg(normal.name(), alternate.name()));
}

QColor VantrelHyperlinkButton::linkColor(bool alternate) {
  return alternate ? QColor::fromRgbF(1.0f, 0.1f, 0.1f, 1.0f) : QColor::fromRgbF(0.1f, 0.1f, 1.0f, 1.0f);
}

void registerHyperlinkButton() {
  paneui::registerWidgetClass(QStringLiteral("VantrelHyperlinkButton"),
                              [](QWidget* parent) -> QWidget* { return new VantrelHyperlinkButton(parent); });
}
