// A small Qt Widgets window for the desktop test tools: one of each kind of control the
// preferences panel uses, so the tools' tests can check what assistive technology sees and does.
//
// Every change a user makes is reported twice: on standard output ("pressed Apply") and in the
// accessible name of the status label at the bottom ("Last: pressed Apply"), so a test can
// follow it from either side. --unnamed adds three controls that a screen reader cannot name (a
// line edit without a label, a button without text, a combo box without a buddy label) for the
// naming audit to find.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

class Probe : public QWidget {
 public:
  explicit Probe(bool unnamed) {
    setWindowTitle(QStringLiteral("Vantrel accessibility probe"));
    auto* outer = new QVBoxLayout(this);
    auto* tabs = new QTabWidget;
    tabs->addTab(controlsPage(), QStringLiteral("Controls"));
    tabs->addTab(textPage(unnamed), QStringLiteral("Text"));
    tabs->addTab(pagesPage(), QStringLiteral("Pages"));
    outer->addWidget(tabs);
    status_ = new QLabel(QStringLiteral("Ready"));
    status_->setObjectName(QStringLiteral("status"));
    status_->setAccessibleName(QStringLiteral("Last: nothing"));
    outer->addWidget(status_);
  }

 private:
  QWidget* controlsPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);

    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 10);
    slider->setValue(3);
    auto* speedLabel = new QLabel(QStringLiteral("&Speed:"));
    speedLabel->setBuddy(slider);
    form->addRow(speedLabel, slider);
    connect(slider, &QSlider::valueChanged, this,
            [this](int v) { report(QStringLiteral("speed %1").arg(v)); });

    auto* combo = new QComboBox;
    combo->addItems({QStringLiteral("All applications"), QStringLiteral("Editor"),
                     QStringLiteral("Browser")});
    auto* profileLabel = new QLabel(QStringLiteral("&Profile:"));
    profileLabel->setBuddy(combo);
    form->addRow(profileLabel, combo);
    connect(combo, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { report(QStringLiteral("profile ") + t); });

    auto* snap = new QCheckBox(QStringLiteral("S&nap to default button"));
    form->addRow(snap);
    connect(snap, &QCheckBox::toggled, this,
            [this](bool on) { report(QStringLiteral("snap ") + (on ? "on" : "off")); });

    auto* row = new QHBoxLayout;
    auto* apply = new QPushButton(QStringLiteral("&Apply"));
    connect(apply, &QPushButton::clicked, this, [this] {
      ++applied_;
      report(QStringLiteral("pressed Apply %1").arg(applied_));
    });
    auto* axis = new QPushButton(QStringLiteral("Single a&xis"));
    axis->setCheckable(true);
    connect(axis, &QPushButton::toggled, this,
            [this](bool on) { report(QStringLiteral("single axis ") + (on ? "on" : "off")); });
    auto* sheet = new QPushButton(QStringLiteral("Se&ttings..."));
    connect(sheet, &QPushButton::clicked, this, &Probe::openSheet);
    row->addWidget(apply);
    row->addWidget(axis);
    row->addWidget(sheet);
    form->addRow(row);
    return page;
  }

  QWidget* textPage(bool unnamed) {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto* name = new QLineEdit;
    name->setAccessibleName(QStringLiteral("Snippet name"));
    form->addRow(name);
    connect(name, &QLineEdit::textChanged, this,
            [this](const QString& t) { report(QStringLiteral("name ") + t); });
    auto* text = new QTextEdit;
    text->setTabChangesFocus(true);
    auto* textLabel = new QLabel(QStringLiteral("Snippet &text:"));
    textLabel->setBuddy(text);
    form->addRow(textLabel, text);
    connect(text, &QTextEdit::textChanged, this,
            [this, text] { report(QStringLiteral("text ") + text->toPlainText()); });
    if (unnamed) {
      form->addRow(new QLineEdit);
      form->addRow(new QPushButton);
      // On Linux a combo box's accessible name is its current text whatever it is given; only
      // a buddy label (the labelled-by relation) says what it is for.
      auto* combo = new QComboBox;
      combo->addItems({QStringLiteral("One"), QStringLiteral("Two")});
      combo->setAccessibleName(QStringLiteral("Named in code only"));
      form->addRow(combo);
    }
    return page;
  }

  QWidget* pagesPage() {
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    auto* stack = new QStackedWidget;
    for (int i = 1; i <= 2; ++i) {
      auto* p = new QWidget;
      auto* l = new QVBoxLayout(p);
      l->addWidget(new QLabel(QStringLiteral("This is page %1.").arg(i)));
      auto* b = new QPushButton(QStringLiteral("Button on page %1").arg(i));
      connect(b, &QPushButton::clicked, this,
              [this, i] { report(QStringLiteral("pressed page button %1").arg(i)); });
      l->addWidget(b);
      stack->addWidget(p);
    }
    auto* next = new QPushButton(QStringLiteral("&Next page"));
    connect(next, &QPushButton::clicked, this, [this, stack] {
      stack->setCurrentIndex((stack->currentIndex() + 1) % stack->count());
      report(QStringLiteral("page %1").arg(stack->currentIndex() + 1));
    });
    box->addWidget(stack);
    box->addWidget(next);
    return page;
  }

  void openSheet() {
    auto* dialog = new QDialog(this);
    dialog->setWindowTitle(QStringLiteral("Probe settings"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout(dialog);
    auto* field = new QLineEdit;
    auto* label = new QLabel(QStringLiteral("&Label:"));
    label->setBuddy(field);
    form->addRow(label, field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(dialog, &QDialog::finished, this, [this, field](int code) {
      report(QStringLiteral("sheet %1 %2").arg(code == QDialog::Accepted ? "ok" : "cancel",
                                               field->text()));
    });
    report(QStringLiteral("sheet open"));
    dialog->open();
  }

  void report(const QString& what) {
    std::printf("%s\n", qPrintable(what));
    std::fflush(stdout);
    status_->setText(what);
    status_->setAccessibleName(QStringLiteral("Last: ") + what);
  }

  QLabel* status_ = nullptr;
  int applied_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool unnamed = QApplication::arguments().contains(QStringLiteral("--unnamed"));
  // The accessible name of the application: two probes can run side by side.
  QApplication::setApplicationName(unnamed ? QStringLiteral("vantrel-a11y-probe-unnamed")
                                           : QStringLiteral("vantrel-a11y-probe"));
  Probe probe(unnamed);
  // The keyboard focus as Qt sees it, for comparison with what the accessibility bus reports.
  QObject::connect(&app, &QApplication::focusChanged, [](QWidget*, QWidget* now) {
    if (!now) return;
    const QString name = now->accessibleName();
    std::printf("focus %s %s\n", now->metaObject()->className(), qPrintable(name));
    std::fflush(stdout);
  });
  probe.resize(560, 420);
  probe.show();
  probe.activateWindow();
  return app.exec();
}
