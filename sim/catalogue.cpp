#include "sim/catalogue.h"

#include <set>

namespace sim {

namespace {

bool readU16(const pl::Dictionary& d, const char* key, uint16_t* out, std::string* error,
             const std::string& who) {
  const auto n = d.getNumber(key);
  if (!n || n->integerValue() < 0 || n->integerValue() > 0xFFFF) {
    *error = who + ": \"" + key + "\" must be a number from 0 to 65535";
    return false;
  }
  *out = static_cast<uint16_t>(n->integerValue());
  return true;
}

}  // namespace

std::optional<Catalogue> Catalogue::fromDictionary(const pl::Dictionary& dict, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  const auto list = dict.getArray("devices");
  if (!list) {
    *error = "the catalogue has no \"devices\" array";
    return std::nullopt;
  }
  Catalogue c;
  std::set<std::string> keys;
  for (size_t i = 0; i < list->size(); ++i) {
    const auto d = list->dictAt(i);
    const std::string who = "device " + std::to_string(i + 1);
    if (!d) {
      *error = who + " is not a dictionary";
      return std::nullopt;
    }
    CatalogueDevice dev;
    dev.key = d->stringValue("key");
    if (dev.key.empty() || !keys.insert(dev.key).second) {
      *error = who + ": missing or repeated \"key\"";
      return std::nullopt;
    }
    const std::string named = "device \"" + dev.key + "\"";
    dev.device = static_cast<int>(d->integerValue("device"));
    dev.entry = static_cast<int>(d->integerValue("entry"));
    if (dev.device < 0 || dev.device > 7 || dev.entry < 0 || dev.entry > 7) {
      *error = named + ": \"device\" and \"entry\" must be 0 to 7";
      return std::nullopt;
    }
    if (!readU16(*d, "vendor id", &dev.vendorID, error, named) ||
        !readU16(*d, "product id", &dev.productID, error, named) ||
        !readU16(*d, "release", &dev.release, error, named))
      return std::nullopt;
    dev.vendorName = d->stringValue("vendor name");
    dev.productName = d->stringValue("product name");
    if (const auto buttons = d->getArray("buttons")) {
      for (const auto& b : *buttons) {
        const auto v = pl::integerValue(b);
        if (v < 0 || v > 15) {
          *error = named + ": buttons are numbered 0 to 15";
          return std::nullopt;
        }
        dev.buttons.push_back(static_cast<int>(v));
      }
    }
    if (const auto transports = d->getArray("transports")) {
      for (const auto& t : *transports) {
        const auto s = pl::asString(t);
        if (s && s->value() == "usb") dev.usb = true;
        else if (s && s->value() == "ble") dev.ble = true;
        else {
          *error = named + ": transports are \"usb\" or \"ble\"";
          return std::nullopt;
        }
      }
    }
    if (!dev.usb && !dev.ble) {
      *error = named + ": no transport";
      return std::nullopt;
    }
    if (const auto interfaces = d->getArray("interfaces")) {
      for (const auto& n : *interfaces) {
        const auto v = pl::integerValue(n);
        if (v < 0 || v > 0xFFFF) {
          *error = named + ": interface numbers are 0 to 65535";
          return std::nullopt;
        }
        dev.interfaces.push_back(static_cast<uint16_t>(v));
      }
    }
    if (dev.interfaces.empty()) dev.interfaces.push_back(0);
    c.devices_.push_back(std::move(dev));
  }
  return c;
}

std::optional<Catalogue> Catalogue::load(const std::string& path, std::string* error) {
  const auto dict = pl::readDictFile(path);
  if (!dict) {
    if (error) *error = path + ": not a readable property-list dictionary";
    return std::nullopt;
  }
  return fromDictionary(*dict, error);
}

std::string Catalogue::defaultPath() { return VANTREL_SIM_CATALOGUE; }

const CatalogueDevice* Catalogue::find(const std::string& key) const {
  for (const auto& d : devices_)
    if (d.key == key) return &d;
  return nullptr;
}

}  // namespace sim
