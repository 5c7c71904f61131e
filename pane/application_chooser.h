// The open panel for applications: the applications the user has (the desktop's application
// folders, sorted by name, with their icons, filtered by a search field), the simulated world's
// applications while the device simulator is on the bus, and any bundle folder with an
// information dictionary ("Other…"). An optional accessory view is shown above the buttons.
//
// A choice is an appchoice::ChosenApplication (pane/application_list.h): its information
// dictionary is what the helper sees when the application comes to the front, so a profile made
// from it applies, and its launch name is what the workspace starts.
//
//   VantrelApplicationChooser::beginSheet(window, options, [](auto chosen) { ... });
//
// Texts go through the pane's "Localizable" table. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "pane/application_list.h"
#include "platform/linux/desktop_applications.h"

class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QVBoxLayout;

class VantrelApplicationChooser : public QDialog {
  Q_OBJECT

 public:
  struct Options {
    // Shown between the list and the buttons while the chooser is open, then given back to its
    // own parent (hidden). The chooser never deletes it.
    QWidget* accessory = nullptr;
    // The title of the choose button; "Choose" when empty.
    QString chooseTitle;
    // The window title; "Choose an Application" when empty.
    QString title;
    // Where the user's applications are.
    sys::xdg::DesktopFolders folders = sys::xdg::DesktopFolders::user();
    // Where to ask the device simulator for its applications; the session bus when unset.
    std::optional<QDBusConnection> bus;
  };
  using Completion = std::function<void(const std::optional<appchoice::ChosenApplication>&)>;

  VantrelApplicationChooser(QWidget* parent, Options options);
  ~VantrelApplicationChooser() override;

  // Shows a new chooser window-modally on the window of `parent` and returns at once; `done`
  // runs once, with the choice or nothing when the user cancelled, and the chooser deletes
  // itself afterwards.
  static VantrelApplicationChooser* beginSheet(QWidget* parent, Options options, Completion done);

  // The choice once the chooser was accepted.
  const std::optional<appchoice::ChosenApplication>& chosen() const { return fChosen; }

  // The applications offered, in list order (desktop and simulated, whatever the search).
  const std::vector<appchoice::ChosenApplication>& applications() const { return fApps; }
  // Chooses a file or folder as "Other…" does after its file dialog, and accepts.
  void chooseItem(const QString& path);

  QListWidget* listView() const { return fList; }
  QLineEdit* searchField() const { return fSearch; }
  QPushButton* chooseButton() const { return fChoose; }
  QPushButton* otherButton() const { return fOther; }

 Q_SIGNALS:
  // The simulator answered (with or without applications), or is known not to be there.
  void simulatedApplicationsChecked();

 protected:
  void done(int result) override;

 private:
  void fillList();
  void askSimulator(QDBusConnection bus);
  void addSimulatedApplications(const QString& json);
  void updateChooseButton();
  void chooseCurrent();
  void chooseOther();
  void giveBackAccessory();

  Options fOptions;
  std::vector<appchoice::ChosenApplication> fApps;
  std::optional<appchoice::ChosenApplication> fChosen;
  QLineEdit* fSearch = nullptr;
  QListWidget* fList = nullptr;
  QPushButton* fChoose = nullptr;
  QPushButton* fOther = nullptr;
  QPointer<QWidget> fAccessory;
  QPointer<QWidget> fAccessoryParent;
  QVBoxLayout* fLayout = nullptr;
};
