// The device pictures the panel shows. Each must draw in Qt's SVG renderer exactly as drawn,
// share the square drawing area the panel lays them out in, carry its model's name, and name
// exactly the controls its model has, so that the panel can find a button or the scroll wheel by
// id and highlight it.
#include <QtCore/QFile>
#include <QtCore/QStringList>
#include <QtCore/QXmlStreamReader>
#include <QtSvg/QSvgRenderer>
#include <gtest/gtest.h>

#include <string>

#include "settings/models.h"

namespace {

const QString kPictureDir = QStringLiteral(VANTREL_RESOURCE_DIR "/devices/");

QStringList gMessages;

void collect(QtMsgType, const QMessageLogContext &, const QString &message) { gMessages << message; }

struct Picture {
  bool valid = false;
  QStringList messages;  // what Qt said while loading it, e.g. a gradient it could not find
  QStringList unsupported;  // elements and attributes that Qt's renderer skips without a word
  QString title;
};

// The elements these pictures may use: the ones Qt's renderer draws. Qt (6.4) passes over
// filters, masks, clip paths, patterns and unknown elements silently, so a picture using one would
// look right in a browser and wrong in the panel.
const QStringList kElements = {"svg", "title", "desc", "defs", "g", "linearGradient", "radialGradient",
                               "stop", "path", "circle", "ellipse", "rect", "line", "polyline", "polygon"};
const QStringList kSkippedAttributes = {"filter", "mask", "clip-path"};

Picture load(const QString &file, QSvgRenderer &renderer) {
  Picture picture;
  gMessages.clear();
  QtMessageHandler previous = qInstallMessageHandler(collect);
  picture.valid = renderer.load(file);
  qInstallMessageHandler(previous);
  picture.messages = gMessages;

  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return picture;
  QXmlStreamReader xml(&f);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const QString name = xml.name().toString();
    if (!kElements.contains(name)) picture.unsupported << name;
    for (const QXmlStreamAttribute &a : xml.attributes())
      if (kSkippedAttributes.contains(a.name().toString())) picture.unsupported << name + "@" + a.name().toString();
    if (name == "title" && picture.title.isEmpty()) picture.title = xml.readElementText();
  }
  if (xml.hasError()) picture.messages << xml.errorString();
  return picture;
}

void expectDrawsAsDrawn(const QString &file, const Picture &picture, const QSvgRenderer &renderer) {
  const std::string name = file.toStdString();
  EXPECT_TRUE(picture.valid) << name;
  EXPECT_TRUE(picture.messages.isEmpty()) << name << ": " << picture.messages.join(" | ").toStdString();
  EXPECT_TRUE(picture.unsupported.isEmpty()) << name << ": " << picture.unsupported.join(", ").toStdString();
  EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 256, 256)) << name;
}

// The ids a model's picture must have: button1..button4 for the physical buttons, "scroll" for
// the wheel or ring. Chords are two buttons pressed together and have no shape of their own.
QStringList controlIds(int device) {
  QStringList ids;
  for (int b : models::buttonsOfDevice(device)) {
    if (b >= 0 && b <= 3) ids << QStringLiteral("button%1").arg(b + 1);
    if (b == 12) ids << QStringLiteral("scroll");
  }
  return ids;
}

QString pictureOf(int device) { return kPictureDir + QStringLiteral("dev%1.svg").arg(device); }

TEST(DevicePictures, EachModelsPictureShowsItsNameAndExactlyItsControls) {
  const QStringList candidates = {"button1", "button2", "button3", "button4", "scroll"};
  for (int device = 1; device <= models::kDeviceCount; ++device) {
    SCOPED_TRACE("Dev" + std::to_string(device));
    QSvgRenderer renderer;
    const Picture picture = load(pictureOf(device), renderer);
    expectDrawsAsDrawn(pictureOf(device), picture, renderer);

    const int entry = models::entryOfProduct(models::productOfDevice(device));
    EXPECT_EQ(picture.title.toStdString(), std::string(models::modelName(entry)));

    const QStringList wanted = controlIds(device);
    for (const QString &id : candidates) {
      EXPECT_EQ(renderer.elementExists(id), wanted.contains(id)) << id.toStdString();
      if (!renderer.elementExists(id)) continue;
      const QRectF bounds = renderer.boundsOnElement(id);
      EXPECT_FALSE(bounds.isEmpty()) << id.toStdString();
      EXPECT_TRUE(renderer.viewBoxF().contains(bounds)) << id.toStdString();
    }
  }
}

TEST(DevicePictures, ButtonsSitApartWithButtonOneOnTheLeft) {
  // Highlighting one button must not look like highlighting its neighbour: no button's centre
  // may fall inside another's bounds. Button 1, the primary one, is left of Button 2 on every model.
  for (int device = 1; device <= models::kDeviceCount; ++device) {
    SCOPED_TRACE("Dev" + std::to_string(device));
    QSvgRenderer renderer;
    load(pictureOf(device), renderer);
    const QStringList ids = controlIds(device);
    for (const QString &a : ids) {
      for (const QString &b : ids) {
        if (a == b || !a.startsWith("button") || !b.startsWith("button")) continue;
        EXPECT_FALSE(renderer.boundsOnElement(a).contains(renderer.boundsOnElement(b).center()))
            << a.toStdString() << " covers " << b.toStdString();
      }
    }
    EXPECT_LT(renderer.boundsOnElement("button1").center().x(), renderer.boundsOnElement("button2").center().x());
  }
}

TEST(DevicePictures, ApplicationIconDrawsAsDrawn) {
  const QString file = kPictureDir + QStringLiteral("vantrel.svg");
  QSvgRenderer renderer;
  const Picture picture = load(file, renderer);
  expectDrawsAsDrawn(file, picture, renderer);
}

}  // namespace
