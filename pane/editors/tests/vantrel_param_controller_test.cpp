// The scroll parameters dialog, loaded from the bundle's interface file on the offscreen
// platform; a runner stands in for the user while the dialog is open.
#include "pane/editors/vantrel_param_controller.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"

namespace {

pl::DictRef profileWithParam(std::initializer_list<std::pair<const char*, int64_t>> values) {
  pl::DictRef profile = pl::makeDict();
  pl::DictRef param = pl::makeDict();
  for (const auto& [k, v] : values) param->setInteger(k, v);
  profile->set("param", param);
  profile->setString("settings name", "Mail");
  return profile;
}

class ParamControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { gVantrelBundle = &bundle_; }
  void TearDown() override { gVantrelBundle = nullptr; }

  platform::Bundle bundle_{VANTREL_RESOURCE_DIR, "en"};
  VantrelParamController params_{nullptr};
};

TEST_F(ParamControllerTest, WithoutParamNoDialogAndCancelLeavesTheProfile) {
  int runs = 0;
  params_.setRunner([&](QDialog*) { return ++runs, 0; });
  pl::DictRef bare = pl::makeDict();
  EXPECT_FALSE(params_.editScrollParams(bare));
  EXPECT_FALSE(params_.editScrollParams(nullptr));
  EXPECT_EQ(runs, 0);

  pl::DictRef profile = profileWithParam({{"triggerTime", 40}, {"timeStop", 1500}});
  const pl::DictRef before = pl::deepCopyDict(profile);
  const pl::DictRef paramObject = profile->getDict("param");
  params_.setRunner([&](QDialog* dialog) {
    ++runs;
    EXPECT_NE(dialog, nullptr);
    params_.fParamSliders[0]->setValue(100);  // changed, then cancelled
    return 0;
  });
  EXPECT_FALSE(params_.editScrollParams(profile));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(profile->getDict("param"), paramObject);
  EXPECT_TRUE(pl::isEqual(profile, before));
}

TEST_F(ParamControllerTest, EditsShowEverywhereAndOkReplacesParamWithAllFiveIntegers) {
  pl::DictRef profile = profileWithParam({{"triggerTime", 40}, {"timeDecay", 80}, {"timeStop", 1500}});
  const pl::DictRef oldParam = profile->getDict("param");
  params_.setRunner([&](QDialog* dialog) {
    dialog->show();
    auto& sliders = params_.fParamSliders;
    auto& fields = params_.fParamFields;
    for (int i = 0; i < 5; ++i) {
      EXPECT_NE(sliders[static_cast<size_t>(i)], nullptr);
      EXPECT_NE(fields[static_cast<size_t>(i)], nullptr);
    }
    EXPECT_EQ(params_.fParamSliders[5], nullptr);
    EXPECT_EQ(fields[0]->text(), "40");
    EXPECT_EQ(fields[3]->text(), "0");  // missing reads as 0
    EXPECT_EQ(sliders[2]->value(), 1500);

    // Moving slider 3 updates field 3 and "timeStop".
    QTest::keyClick(sliders[2], Qt::Key_Right);
    EXPECT_EQ(params_.fScrollParamDict->integerValue("timeStop"), sliders[2]->value());
    EXPECT_NE(sliders[2]->value(), 1500);
    EXPECT_EQ(fields[2]->text(), QString::number(sliders[2]->value()));
    QTest::keyClick(sliders[2], Qt::Key_Left);
    EXPECT_EQ(fields[2]->text(), "1500");

    // Typing: "12a" stores 12 and shows 12; a cleared field stores and shows 0.
    fields[1]->setFocus();
    fields[1]->selectAll();
    QTest::keyClicks(fields[1], "12a");
    EXPECT_EQ(params_.fScrollParamDict->integerValue("timeDecay"), 12);
    EXPECT_EQ(fields[1]->text(), "12");
    EXPECT_EQ(sliders[1]->value(), 12);
    fields[4]->setFocus();
    QTest::keyClicks(fields[4], "7");
    fields[4]->selectAll();
    QTest::keyClick(fields[4], Qt::Key_Backspace);
    EXPECT_EQ(params_.fScrollParamDict->integerValue("countStop"), 0);
    EXPECT_EQ(fields[4]->text(), "0");
    // No range check on typed values: beyond the slider's end the value stays as typed.
    fields[0]->setFocus();
    fields[0]->selectAll();
    QTest::keyClicks(fields[0], "9999");
    EXPECT_EQ(params_.fScrollParamDict->integerValue("triggerTime"), 9999);
    EXPECT_EQ(fields[0]->text(), "9999");
    EXPECT_EQ(sliders[0]->value(), sliders[0]->maximum());
    return 1;
  });
  ASSERT_TRUE(params_.editScrollParams(profile));
  const pl::DictRef param = profile->getDict("param");
  ASSERT_TRUE(param);
  EXPECT_NE(param, oldParam);
  EXPECT_EQ(oldParam->integerValue("timeDecay"), 80);  // the old dictionary was not edited
  const std::pair<const char*, int64_t> expected[] = {
      {"triggerTime", 9999}, {"timeDecay", 12}, {"timeStop", 1500}, {"countDecay", 0}, {"countStop", 0}};
  for (const auto& [key, value] : expected) {
    SCOPED_TRACE(key);
    const pl::NumberRef n = param->getNumber(key);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->kind(), pl::Number::Kind::Integer);
    EXPECT_EQ(n->integerValue(), value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
