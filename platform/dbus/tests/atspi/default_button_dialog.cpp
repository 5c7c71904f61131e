// A dialog with a default button, for the accessibility tests: it shows "Save" (default) and
// "Cancel" under a text field, prints "ready WINDOW X Y WIDTH HEIGHT" (its X window and the
// default button's place on the screen) once it is shown, and takes commands on standard input:
// "disable" and "enable" the default button, "move" the dialog by (40, 30) and print its place
// again, "quit".
//
//   vantrel_default_button_dialog [TITLE]
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Save changes?"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Save the changes to this document?")));
  auto* field = new QLineEdit;
  field->setAccessibleName(QStringLiteral("File name"));
  layout->addWidget(field);
  auto* buttons = new QDialogButtonBox;
  QPushButton* save = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  save->setDefault(true);
  layout->addWidget(buttons);
  dialog.move(200, 150);
  dialog.show();

  const auto report = [&](const char* what) {
    const QRect r(save->mapToGlobal(QPoint(0, 0)), save->size());
    std::printf("%s %llu %d %d %d %d\n", what, static_cast<unsigned long long>(dialog.winId()), r.x(), r.y(),
                r.width(), r.height());
    std::fflush(stdout);
  };
  QTimer::singleShot(100, &dialog, [&] { report("ready"); });

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char text[256] = {};
    const ssize_t n = ::read(STDIN_FILENO, text, sizeof text - 1);
    if (n <= 0) return QApplication::quit();
    for (const QString& line : QString::fromLatin1(text, static_cast<int>(n)).split('\n')) {
      const QString command = line.trimmed();
      if (command == "disable") save->setEnabled(false);
      else if (command == "enable") save->setEnabled(true);
      else if (command == "move") {
        dialog.move(dialog.pos() + QPoint(40, 30));
        QTimer::singleShot(100, &dialog, [&] { report("moved"); });
      } else if (command == "quit") QApplication::quit();
    }
  });
  return QApplication::exec();
}
