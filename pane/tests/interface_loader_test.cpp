#include "pane/interface_loader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/bundle.h"

namespace {

constexpr char kPanel[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Panel</class>
 <widget class="QWidget" name="Panel">
  <property name="windowTitle"><string>Pointer</string></property>
  <layout class="QVBoxLayout">
   <item><widget class="QLabel" name="outLabel"><property name="text"><string>Speed</string></property></widget></item>
   <item><widget class="QCheckBox" name="outPointerBoxAccel">
     <property name="text"><string>Acceleration</string></property>
     <property name="accessibleName"><string>Acceleration</string></property>
     <property name="tag"><number>71</number></property></widget></item>
   <item><widget class="QComboBox" name="outCombo">
     <item><property name="text"><string>Speed</string></property></item>
     <item><property name="text"><string>Untranslated</string></property></item></widget></item>
   <item><widget class="QTabWidget" name="outTabs">
     <widget class="QWidget" name="page0"><attribute name="title"><string>Pointer</string></attribute></widget></widget></item>
   <item><widget class="MarkedLabel" name="outMarked"><property name="text"><string>Speed</string></property></widget></item>
  </layout>
 </widget>
 <customwidgets><customwidget><class>MarkedLabel</class><extends>QLabel</extends><header>marked.h</header></customwidget></customwidgets>
</ui>
)";

class InterfaceLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath("de.lproj");
    write("Panel.ui", kPanel);
    write("de.lproj/Localizable.strings",
          "\"Speed\" = \"Geschwindigkeit\";\n\"Acceleration\" = \"Beschleunigung\";\n"
          "\"Pointer\" = \"Zeiger\";\n");
    paneui::registerWidgetClass("MarkedLabel", [](QWidget* parent) {
      auto* label = new QLabel(parent);
      label->setProperty("marked", true);
      return label;
    });
  }
  void write(const QString& name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QTemporaryDir dir;
};

TEST_F(InterfaceLoaderTest, LoadsOutletsTagsAndCustomClassesAndLocalisesEveryText) {
  platform::Bundle german(dir.path().toStdString(), "de");
  auto view = paneui::loadInterface(german, "Panel");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "Zeiger");
  EXPECT_EQ(paneui::outlet<QLabel>(view.get(), "outLabel")->text(), "Geschwindigkeit");
  auto* accel = paneui::outlet<QCheckBox>(view.get(), "outPointerBoxAccel");
  ASSERT_NE(accel, nullptr);
  EXPECT_EQ(accel->text(), "Beschleunigung");
  EXPECT_EQ(accel->accessibleName(), "Beschleunigung");
  EXPECT_EQ(paneui::tagOf(accel), 71);
  auto* combo = paneui::outlet<QComboBox>(view.get(), "outCombo");
  EXPECT_EQ(combo->itemText(0), "Geschwindigkeit");
  EXPECT_EQ(combo->itemText(1), "Untranslated");  // no entry: stays as written
  EXPECT_EQ(paneui::outlet<QTabWidget>(view.get(), "outTabs")->tabText(0), "Zeiger");
  auto* marked = paneui::outlet<QLabel>(view.get(), "outMarked");
  ASSERT_NE(marked, nullptr);
  EXPECT_TRUE(marked->property("marked").toBool());
  EXPECT_EQ(marked->text(), "Geschwindigkeit");
  // The wrong type or a name that is not there gives no outlet.
  EXPECT_EQ(paneui::outlet<QComboBox>(view.get(), "outLabel"), nullptr);
  EXPECT_EQ(paneui::outlet<QLabel>(view.get(), "outMissing"), nullptr);

  platform::Bundle english(dir.path().toStdString(), "en");
  auto plain = paneui::loadInterface(english, "Panel");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(paneui::outlet<QLabel>(plain.get(), "outLabel")->text(), "Speed");
}

TEST_F(InterfaceLoaderTest, MissingOrBrokenFilesGiveNoViewAndSayWhy) {
  platform::Bundle bundle(dir.path().toStdString(), "en");
  QString error;
  EXPECT_EQ(paneui::loadInterface(bundle, "Nothing", nullptr, &error), nullptr);
  EXPECT_TRUE(error.contains("Nothing.ui"));
  write("Broken.ui", "<ui version=\"4.0\"><widget class=\"QWidget\"");
  error.clear();
  EXPECT_EQ(paneui::loadInterface(bundle, "Broken", nullptr, &error), nullptr);
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
