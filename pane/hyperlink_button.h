// VantrelHyperlinkButton: a push button drawn as a link -- its title underlined in blue, in red
// while it is pressed (its alternate title). It keeps a button's keyboard focus (drawn as a
// dotted frame), its accessible name and its clicked signal. Interface files name it as a
// custom widget class; registerHyperlinkButton() makes that class known to the loader.
#pragma once

#include <QPushButton>

class VantrelHyperlinkButton : public QPushButton {
  Q_OBJECT

 public:
  explicit VantrelHyperlinkButton(QWidget* parent = nullptr);

  // The colours of the title: normal and alternate (pressed).
  static QColor linkColor(bool alternate);
};

// Registers "VantrelHyperlinkButton" with paneui::registerWidgetClass (once is enough; again is
// harmless).
void registerHyperlinkButton();
