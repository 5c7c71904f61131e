// Property-list object model: dictionaries, arrays, strings, numbers, data and dates with
// reference semantics, as the settings code expects of Foundation's containers.
//
// Objects are held by shared_ptr, so two places can hold the very same dictionary (the panel
// edits the profile that sits inside the "devices" array inside the top-level dictionary).
// `isEqual` compares contents; pointer comparison compares identity.
//
// Reading conversions follow Foundation: a missing object reads as 0 / false / empty, integer 1
// and boolean true read alike, the integer value of a real truncates toward zero, and the integer
// value of a string reads its leading number.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pl {

enum class Type { String, Number, Data, Date, Array, Dictionary, Opaque };

class Object;
class String;
class Number;
class Data;
class Date;
class Array;
class Dictionary;

using ObjectRef = std::shared_ptr<Object>;
using StringRef = std::shared_ptr<String>;
using NumberRef = std::shared_ptr<Number>;
using DataRef = std::shared_ptr<Data>;
using DateRef = std::shared_ptr<Date>;
using ArrayRef = std::shared_ptr<Array>;
using DictRef = std::shared_ptr<Dictionary>;

class Object : public std::enable_shared_from_this<Object> {
 public:
  explicit Object(Type type) : type_(type) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  Type type() const { return type_; }

 private:
  Type type_;
};

class String final : public Object {
 public:
  explicit String(std::string value = {}) : Object(Type::String), value_(std::move(value)) {}
  const std::string& value() const { return value_; }
  void setValue(std::string value) { value_ = std::move(value); }

 private:
  std::string value_;
};

// A number keeps the kind it was written with so that it is written back the same way:
// booleans as booleans, integers as integers, reals as reals.
class Number final : public Object {
 public:
  enum class Kind { Boolean, Integer, Real };

  static NumberRef boolean(bool v);
  static NumberRef integer(int64_t v);
  static NumberRef real(double v);

  Kind kind() const { return kind_; }
  int64_t integerValue() const;  // reals truncate toward zero (saturating)
  uint64_t unsignedValue() const;
  double doubleValue() const;
  bool boolValue() const;

  Number(Kind kind, int64_t i, double d) : Object(Type::Number), kind_(kind), int_(i), real_(d) {}

 private:
  Kind kind_;
  int64_t int_;
  double real_;
};

class Data final : public Object {
 public:
  explicit Data(std::vector<uint8_t> bytes = {}) : Object(Type::Data), bytes_(std::move(bytes)) {}
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Seconds since 2001-01-01 00:00:00 UTC, as property lists count time.
class Date final : public Object {
 public:
  explicit Date(double secondsSinceReference = 0)
      : Object(Type::Date), seconds_(secondsSinceReference) {}
  double secondsSinceReference() const { return seconds_; }

 private:
  double seconds_;
};

// A value that is not a property-list type (an object the caller parks in a container).
// Serialising a container that holds one fails, and so does a deep copy of it.
class Opaque final : public Object {
 public:
  Opaque() : Object(Type::Opaque) {}
};

class Array final : public Object {
 public:
  Array() : Object(Type::Array) {}
  explicit Array(std::vector<ObjectRef> items) : Object(Type::Array), items_(std::move(items)) {}

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  ObjectRef at(size_t i) const { return i < items_.size() ? items_[i] : nullptr; }
  DictRef dictAt(size_t i) const;
  void append(ObjectRef o) { items_.push_back(std::move(o)); }
  void insert(size_t i, ObjectRef o);
  void remove(size_t i);
  void set(size_t i, ObjectRef o);
  void reserve(size_t n) { items_.reserve(n); }
  // Index of the first element that is the very object given, or -1.
  long indexOfIdentical(const Object* o) const;

  const std::vector<ObjectRef>& items() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<ObjectRef> items_;
};

// A dictionary's entries, sorted by key in one contiguous vector. Settings dictionaries are
// small and read far more often than written, so a binary search over adjacent entries beats a
// tree of separately allocated nodes, both for look-ups and for building a parsed document.
class SortedEntries {
 public:
  using value_type = std::pair<std::string, ObjectRef>;
  using const_iterator = std::vector<value_type>::const_iterator;

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  const_iterator find(std::string_view key) const;

  void insert_or_assign(std::string key, ObjectRef value);
  void erase(const_iterator it) { items_.erase(it); }
  void clear() { items_.clear(); }
  // Replaces the contents with `entries` in any order; of equal keys the last one stays.
  void assign(std::vector<value_type> entries);

 private:
  std::vector<value_type>::iterator lowerBound(std::string_view key);
  std::vector<value_type> items_;
};

class Dictionary final : public Object {
 public:
  using Map = SortedEntries;

  Dictionary() : Object(Type::Dictionary) {}

  size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }
  bool contains(std::string_view key) const { return map_.find(key) != map_.end(); }
  ObjectRef get(std::string_view key) const;
  DictRef getDict(std::string_view key) const;
  ArrayRef getArray(std::string_view key) const;
  StringRef getStringObject(std::string_view key) const;
  DataRef getData(std::string_view key) const;
  NumberRef getNumber(std::string_view key) const;

  // Foundation-style readings of an entry; a missing entry reads as 0 / false / "".
  int64_t integerValue(std::string_view key) const;
  uint64_t unsignedValue(std::string_view key) const;
  double doubleValue(std::string_view key) const;
  float floatValue(std::string_view key) const;
  bool boolValue(std::string_view key) const;
  std::string stringValue(std::string_view key) const;  // only a string entry gives text

  void set(std::string key, ObjectRef value);  // a null value removes the entry
  void setString(std::string key, std::string value);
  void setInteger(std::string key, int64_t value);
  void setBool(std::string key, bool value);
  void setReal(std::string key, double value);
  void remove(std::string_view key);
  void clear() { map_.clear(); }
  // Replaces all entries at once (entries in any order; of equal keys the last one stays).
  void assign(std::vector<SortedEntries::value_type> entries) { map_.assign(std::move(entries)); }

  const Map& entries() const { return map_; }
  auto begin() const { return map_.begin(); }
  auto end() const { return map_.end(); }

 private:
  Map map_;
};

// ---- creation helpers --------------------------------------------------------------------
StringRef makeString(std::string v);
NumberRef makeInteger(int64_t v);
NumberRef makeBool(bool v);
NumberRef makeReal(double v);
DataRef makeData(std::vector<uint8_t> bytes);
DataRef makeData(const void* bytes, size_t n);
ArrayRef makeArray();
DictRef makeDict();

// ---- typed views of an object (null when the object is absent or of another type) ---------
DictRef asDict(const ObjectRef& o);
ArrayRef asArray(const ObjectRef& o);
StringRef asString(const ObjectRef& o);
NumberRef asNumber(const ObjectRef& o);
DataRef asData(const ObjectRef& o);

// ---- Foundation-style value conversions -----------------------------------------------------
// Numbers convert as numbers; strings read their leading number (after white space, an
// optional sign, digits, for reals also a fraction and exponent); everything else is 0.
int64_t integerValue(const Object* o);
uint64_t unsignedValue(const Object* o);
double doubleValue(const Object* o);
float floatValue(const Object* o);
// Numbers: non-zero. Strings: "Y", "y", "T", "t" or a non-zero digit first (after white space,
// sign and leading zeros).
bool boolValue(const Object* o);
inline int64_t integerValue(const ObjectRef& o) { return integerValue(o.get()); }
inline uint64_t unsignedValue(const ObjectRef& o) { return unsignedValue(o.get()); }
inline double doubleValue(const ObjectRef& o) { return doubleValue(o.get()); }
inline float floatValue(const ObjectRef& o) { return floatValue(o.get()); }
inline bool boolValue(const ObjectRef& o) { return boolValue(o.get()); }

// Deep equality of contents. Numbers compare by value whatever their kind.
bool isEqual(const Object* a, const Object* b);
inline bool isEqual(const ObjectRef& a, const ObjectRef& b) { return isEqual(a.get(), b.get()); }

// A deep copy in which every container and leaf is a new object. Null when the object holds
// a value that is not a property-list type (Opaque), or when it is absent.
ObjectRef deepCopy(const Object* o);
inline ObjectRef deepCopy(const ObjectRef& o) { return deepCopy(o.get()); }
DictRef deepCopyDict(const DictRef& d);
ArrayRef deepCopyArray(const ArrayRef& a);

// ---- serialisation -----------------------------------------------------------------------
// Parses an XML or binary property list. Null when the bytes are not a property list.
ObjectRef parse(const void* bytes, size_t n);
inline ObjectRef parse(std::string_view s) { return parse(s.data(), s.size()); }
// Apple's XML property list format 1.0. Empty optional when the object holds a value that is
// not a property-list type.
std::optional<std::string> toXml(const Object& o);
std::optional<std::vector<uint8_t>> toBinary(const Object& o);

// Reads a whole file and parses it. Null when the file is missing, unreadable, larger than
// `maxBytes` (then nothing of it is read) or not a property list.
ObjectRef readFile(const std::string& path, size_t maxBytes = std::numeric_limits<size_t>::max());
// Reads a file whose top level must be a dictionary; null otherwise.
DictRef readDictFile(const std::string& path);
// Serialises as XML and replaces the file atomically. False when serialisation or the write
// failed; the old file is then intact.
bool writeXmlFile(const Object& o, const std::string& path);

}  // namespace pl
