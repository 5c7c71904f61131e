// An in-memory pasteboard for tests: ordered types, data per type, types whose data cannot be
// read, and a change count that moves on every declaration.
#pragma once

#include <algorithm>
#include <set>
#include <utility>

#include "platform/pasteboard.h"

namespace sys {

class FakePasteboard final : public Pasteboard {
 public:
  struct Entry {
    std::string type;
    std::optional<std::vector<uint8_t>> data;  // nothing: declared, no data yet
    bool operator==(const Entry&) const = default;
  };

  std::vector<std::string> types() const override {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.type);
    return out;
  }
  std::optional<std::vector<uint8_t>> dataForType(const std::string& type) const override {
    if (unreadable.count(type)) return std::nullopt;
    auto it = find(type);
    if (it == entries.end()) return std::nullopt;
    return it->data;
  }
  void declareTypes(const std::vector<std::string>& newTypes) override {
    ++changeCount;
    entries.clear();
    for (const auto& t : newTypes) entries.push_back({t, std::nullopt});
  }
  bool setData(const std::vector<uint8_t>& data, const std::string& type) override {
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return e.type == type; });
    if (it == entries.end()) return false;
    it->data = data;
    return true;
  }

  // Test set-up and inspection.
  void put(const std::string& type, const std::string& bytes) {
    entries.push_back({type, std::vector<uint8_t>(bytes.begin(), bytes.end())});
  }
  std::string stringFor(const std::string& type) const {
    auto it = find(type);
    if (it == entries.end() || !it->data) return {};
    return std::string(it->data->begin(), it->data->end());
  }

  std::vector<Entry> entries;
  std::set<std::string> unreadable;
  int changeCount = 0;

 private:
  std::vector<Entry>::const_iterator find(const std::string& type) const {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const Entry& e) { return e.type == type; });
  }
};

}  // namespace sys
