// The general pasteboard: an ordered list of types, each with its own data.
//
// A paste is "declare the types, then set the data of each"; a type that was declared but got
// no data is present and empty. The runtime backend is the Qt clipboard (platform/qt/),
// the test double platform/fake/fake_pasteboard.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sys {

// The type under which plain text travels.
inline constexpr const char* kStringPasteboardType = "text/plain";

class Pasteboard {
 public:
  virtual ~Pasteboard() = default;
  // The types the pasteboard holds now, in their order.
  virtual std::vector<std::string> types() const = 0;
  // The data of one type; nothing when the type is absent or its data cannot be read.
  virtual std::optional<std::vector<uint8_t>> dataForType(const std::string& type) const = 0;
  // Empties the pasteboard and announces these types, in this order, without data yet.
  virtual void declareTypes(const std::vector<std::string>& types) = 0;
  // Sets the data of a declared type. False when the type was not declared.
  virtual bool setData(const std::vector<uint8_t>& data, const std::string& type) = 0;

  bool setString(const std::string& text, const std::string& type) {
    return setData(std::vector<uint8_t>(text.begin(), text.end()), type);
  }
};

}  // namespace sys
