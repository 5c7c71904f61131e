#include "platform/plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/files.h"

namespace pl {

// ---- Number -------------------------------------------------------------------------------

NumberRef Number::boolean(bool v) { return std::make_shared<Number>(Kind::Boolean, v ? 1 : 0, v ? 1.0 : 0.0); }
NumberRef Number::integer(int64_t v) {
  return std::make_shared<Number>(Kind::Integer, v, static_cast<double>(v));
}
NumberRef Number::real(double v) { return std::make_shared<Number>(Kind::Real, 0, v); }

static int64_t truncateToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

int64_t Number::integerValue() const { return kind_ == Kind::Real ? truncateToInt64(real_) : int_; }
uint64_t Number::unsignedValue() const { return static_cast<uint64_t>(integerValue()); }
double Number::doubleValue() const { return kind_ == Kind::Real ? real_ : static_cast<double>(int_); }
bool Number::boolValue() const { return kind_ == Kind::Real ? real_ != 0.0 : int_ != 0; }

// ---- Array --------------------------------------------------------------------------------

DictRef Array::dictAt(size_t i) const { return asDict(at(i)); }

void Array::insert(size_t i, ObjectRef o) {
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(i, items_.size())), std::move(o));
}

void Array::remove(size_t i) {
  if (i < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
}

void Array::set(size_t i, ObjectRef o) {
  if (i < items_.size()) items_[i] = std::move(o);
  else if (i == items_.size()) items_.push_back(std::move(o));
}

long Array::indexOfIdentical(const Object* o) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == o) return static_cast<long>(i);
  return -1;
}

// ---- SortedEntries ------------------------------------------------------------------------

SortedEntries::const_iterator SortedEntries::find(std::string_view key) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), key,
                             [](const value_type& e, std::string_view k) { return std::string_view(e.first) < k; });
  return (it != items_.end() && it->first == key) ? it : items_.end();
}

std::vector<SortedEntries::value_type>::iterator SortedEntries::lowerBound(std::string_view key) {
  // Keys usually arrive in order (writers of property lists sort them): append without a search.
  if (items_.empty() || std::string_view(items_.back().first) < key) return items_.end();
  return std::lower_bound(items_.begin(), items_.end(), key,
                          [](const value_type& e, std::string_view k) { return std::string_view(e.first) < k; });
}

void SortedEntries::insert_or_assign(std::string key, ObjectRef value) {
  auto it = lowerBound(key);
  if (it != items_.end() && it->first == key) it->second = std::move(value);
  else items_.emplace(it, std::move(key), std::move(value));
}

void SortedEntries::assign(std::vector<value_type> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const value_type& a, const value_type& b) { return a.first < b.first; });
  // Of a run of equal keys keep the last.
  items_.clear();
  items_.reserve(entries.size());
  for (auto& e : entries) {
    if (!items_.empty() && items_.back().first == e.first) items_.back().second = std::move(e.second);
    else items_.push_back(std::move(e));
  }
}

// ---- Dictionary ---------------------------------------------------------------------------

ObjectRef Dictionary::get(std::string_view key) const {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : it->second;
}
DictRef Dictionary::getDict(std::string_view key) const { return asDict(get(key)); }
ArrayRef Dictionary::getArray(std::string_view key) const { return asArray(get(key)); }
StringRef Dictionary::getStringObject(std::string_view key) const { return asString(get(key)); }
DataRef Dictionary::getData(std::string_view key) const { return asData(get(key)); }
NumberRef Dictionary::getNumber(std::string_view key) const { return asNumber(get(key)); }

static const Object* rawGet(const Dictionary::Map& m, std::string_view key) {
  auto it = m.find(key);
  return it == m.end() ? nullptr : it->second.get();
}

int64_t Dictionary::integerValue(std::string_view key) const { return pl::integerValue(rawGet(map_, key)); }
uint64_t Dictionary::unsignedValue(std::string_view key) const { return pl::unsignedValue(rawGet(map_, key)); }
double Dictionary::doubleValue(std::string_view key) const { return pl::doubleValue(rawGet(map_, key)); }
float Dictionary::floatValue(std::string_view key) const { return pl::floatValue(rawGet(map_, key)); }
bool Dictionary::boolValue(std::string_view key) const { return pl::boolValue(rawGet(map_, key)); }
std::string Dictionary::stringValue(std::string_view key) const {
  const Object* o = rawGet(map_, key);
  return (o && o->type() == Type::String) ? static_cast<const String*>(o)->value() : std::string();
}

void Dictionary::set(std::string key, ObjectRef value) {
  if (!value) {
    remove(key);
    return;
  }
  map_.insert_or_assign(std::move(key), std::move(value));
}
void Dictionary::setString(std::string key, std::string value) { set(std::move(key), makeString(std::move(value))); }
void Dictionary::setInteger(std::string key, int64_t value) { set(std::move(key), makeInteger(value)); }
void Dictionary::setBool(std::string key, bool value) { set(std::move(key), makeBool(value)); }
void Dictionary::setReal(std::string key, double value) { set(std::move(key), makeReal(value)); }
void Dictionary::remove(std::string_view key) {
  auto it = map_.find(key);
  if (it != map_.end()) map_.erase(it);
}

// ---- creation and views -------------------------------------------------------------------

StringRef makeString(std::string v) { return std::make_shared<String>(std::move(v)); }
NumberRef makeInteger(int64_t v) { return Number::integer(v); }
NumberRef makeBool(bool v) { return Number::boolean(v); }
NumberRef makeReal(double v) { return Number::real(v); }
DataRef makeData(std::vector<uint8_t> bytes) { return std::make_shared<Data>(std::move(bytes)); }
DataRef makeData(const void* bytes, size_t n) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  return std::make_shared<Data>(std::vector<uint8_t>(p, p + n));
}
ArrayRef makeArray() { return std::make_shared<Array>(); }
DictRef makeDict() { return std::make_shared<Dictionary>(); }

template <class T>
static std::shared_ptr<T> viewAs(const ObjectRef& o, Type t) {
  return (o && o->type() == t) ? std::static_pointer_cast<T>(o) : nullptr;
}
DictRef asDict(const ObjectRef& o) { return viewAs<Dictionary>(o, Type::Dictionary); }
ArrayRef asArray(const ObjectRef& o) { return viewAs<Array>(o, Type::Array); }
StringRef asString(const ObjectRef& o) { return viewAs<String>(o, Type::String); }
NumberRef asNumber(const ObjectRef& o) { return viewAs<Number>(o, Type::Number); }
DataRef asData(const ObjectRef& o) { return viewAs<Data>(o, Type::Data); }

// ---- conversions --------------------------------------------------------------------------

static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The leading integer of a string: white space, an optional sign, digits. Saturates.
static int64_t leadingInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t magnitude = 0;
  bool overflow = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const auto digit = static_cast<uint64_t>(s[i] - '0');
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
    else magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    if (overflow || magnitude > uint64_t{1} << 63) return std::numeric_limits<int64_t>::min();
    return magnitude == uint64_t{1} << 63 ? std::numeric_limits<int64_t>::min()
                                          : -static_cast<int64_t>(magnitude);
  }
  if (overflow || magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
    return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(magnitude);
}

static double leadingReal(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double v = 0;
  auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) v = std::numeric_limits<double>::infinity();
  else if (r.ec != std::errc()) v = 0;
  return negative ? -v : v;
}

int64_t integerValue(const Object* o) {
  if (!o) return 0;
  if (o->type() == Type::Number) return static_cast<const Number*>(o)->integerValue();
  if (o->type() == Type::String) return leadingInteger(static_cast<const String*>(o)->value());
  return 0;
}

uint64_t unsignedValue(const Object* o) { return static_cast<uint64_t>(integerValue(o)); }

double doubleValue(const Object* o) {
  if (!o) return 0;
  if (o->type() == Type::Number) return static_cast<const Number*>(o)->doubleValue();
  if (o->type() == Type::String) return leadingReal(static_cast<const String*>(o)->value());
  return 0;
}

float floatValue(const Object* o) { return static_cast<float>(doubleValue(o)); }

bool boolValue(const Object* o) {
  if (!o) return false;
  if (o->type() == Type::Number) return static_cast<const Number*>(o)->boolValue();
  if (o->type() != Type::String) return false;
  const std::string& s = static_cast<const String*>(o)->value();
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && s[i] == '0') ++i;
  if (i >= s.size()) return false;
  const char c = s[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// ---- equality and copies ------------------------------------------------------------------

bool isEqual(const Object* a, const Object* b) {
  if (a == b) return true;
  if (!a || !b || a->type() != b->type()) return false;
  switch (a->type()) {
    case Type::String:
      return static_cast<const String*>(a)->value() == static_cast<const String*>(b)->value();
    case Type::Number: {
      const auto* x = static_cast<const Number*>(a);
      const auto* y = static_cast<const Number*>(b);
      if (x->kind() != Number::Kind::Real && y->kind() != Number::Kind::Real)
        return x->integerValue() == y->integerValue();
      return x->doubleValue() == y->doubleValue();
    }
    case Type::Data:
      return static_cast<const Data*>(a)->bytes() == static_cast<const Data*>(b)->bytes();
    case Type::Date:
      return static_cast<const Date*>(a)->secondsSinceReference() ==
             static_cast<const Date*>(b)->secondsSinceReference();
    case Type::Array: {
      const auto& x = static_cast<const Array*>(a)->items();
      const auto& y = static_cast<const Array*>(b)->items();
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (!isEqual(x[i].get(), y[i].get())) return false;
      return true;
    }
    case Type::Dictionary: {
      const auto& x = static_cast<const Dictionary*>(a)->entries();
      const auto& y = static_cast<const Dictionary*>(b)->entries();
      if (x.size() != y.size()) return false;
      for (auto ix = x.begin(), iy = y.begin(); ix != x.end(); ++ix, ++iy)
        if (ix->first != iy->first || !isEqual(ix->second.get(), iy->second.get())) return false;
      return true;
    }
    case Type::Opaque:
      return false;
  }
  return false;
}

ObjectRef deepCopy(const Object* o) {
  if (!o) return nullptr;
  switch (o->type()) {
    case Type::String:
      return makeString(static_cast<const String*>(o)->value());
    case Type::Number: {
      const auto* n = static_cast<const Number*>(o);
      switch (n->kind()) {
        case Number::Kind::Boolean: return makeBool(n->boolValue());
        case Number::Kind::Integer: return makeInteger(n->integerValue());
        case Number::Kind::Real: return makeReal(n->doubleValue());
      }
      return nullptr;
    }
    case Type::Data:
      return makeData(static_cast<const Data*>(o)->bytes());
    case Type::Date:
      return std::make_shared<Date>(static_cast<const Date*>(o)->secondsSinceReference());
    case Type::Array: {
      auto out = makeArray();
      const auto& items = static_cast<const Array*>(o)->items();
      out->reserve(items.size());
      for (const auto& item : items) {
        auto c = deepCopy(item.get());
        if (!c) return nullptr;
        out->append(std::move(c));
      }
      return out;
    }
    case Type::Dictionary: {
      auto out = makeDict();
      for (const auto& [k, v] : static_cast<const Dictionary*>(o)->entries()) {
        auto c = deepCopy(v.get());
        if (!c) return nullptr;
        out->set(k, std::move(c));
      }
      return out;
    }
    case Type::Opaque:
      return nullptr;
  }
  return nullptr;
}

DictRef deepCopyDict(const DictRef& d) { return asDict(deepCopy(d.get())); }
ArrayRef deepCopyArray(const ArrayRef& a) { return asArray(deepCopy(a.get())); }

// ---- libplist bridge ----------------------------------------------------------------------

namespace {

constexpr int kMaxDepth = 256;  // deeper documents are refused rather than risking the stack

struct PlistHolder {
  plist_t p = nullptr;
  ~PlistHolder() {
    if (p) plist_free(p);
  }
};

// Numbers are immutable, so a parsed document shares one object per boolean value and per small
// integer instead of allocating one for every occurrence; settings files are mostly made of them.
constexpr int64_t kSharedIntMin = -1;
constexpr int64_t kSharedIntMax = 1024;

NumberRef sharedBool(bool v) {
  static const NumberRef yes = Number::boolean(true);
  static const NumberRef no = Number::boolean(false);
  return v ? yes : no;
}

NumberRef sharedInteger(int64_t v) {
  static const std::vector<NumberRef> table = [] {
    std::vector<NumberRef> t;
    for (int64_t i = kSharedIntMin; i <= kSharedIntMax; ++i) t.push_back(Number::integer(i));
    return t;
  }();
  if (v < kSharedIntMin || v > kSharedIntMax) return makeInteger(v);
  return table[static_cast<size_t>(v - kSharedIntMin)];
}

ObjectRef fromNode(plist_t node, int depth) {
  if (!node || depth > kMaxDepth) return nullptr;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t v = 0;
      plist_get_bool_val(node, &v);
      return sharedBool(v != 0);
    }
    case PLIST_UINT: {
      uint64_t v = 0;
      plist_get_uint_val(node, &v);
      return sharedInteger(static_cast<int64_t>(v));
    }
    case PLIST_UID: {
      uint64_t v = 0;
      plist_get_uid_val(node, &v);
      return makeInteger(static_cast<int64_t>(v));
    }
    case PLIST_REAL: {
      double v = 0;
      plist_get_real_val(node, &v);
      return makeReal(v);
    }
    case PLIST_STRING: {
      uint64_t len = 0;
      const char* s = plist_get_string_ptr(node, &len);
      return makeString(s ? std::string(s, len) : std::string());
    }
    case PLIST_DATA: {
      uint64_t len = 0;
      const char* d = plist_get_data_ptr(node, &len);
      return d ? makeData(d, len) : makeData(std::vector<uint8_t>{});
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return std::make_shared<Date>(static_cast<double>(sec) + static_cast<double>(usec) / 1e6);
    }
    case PLIST_ARRAY: {
      auto out = makeArray();
      const uint32_t n = plist_array_get_size(node);
      out->reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1);
        if (!item) return nullptr;
        out->append(std::move(item));
      }
      return out;
    }
    case PLIST_DICT: {
      auto out = makeDict();
      // Collected first and sorted once: a document with its keys in any order costs
      // O(n log n), never a quadratic series of inserts.
      std::vector<SortedEntries::value_type> entries;
      entries.reserve(plist_dict_get_size(node));
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      if (!it) return out;
      bool ok = true;
      for (;;) {
        char* key = nullptr;
        plist_t val = nullptr;
        plist_dict_next_item(node, it, &key, &val);
        if (!val) {
          free(key);
          break;
        }
        auto item = fromNode(val, depth + 1);
        if (!item || !key) ok = false;
        else entries.emplace_back(std::string(key), std::move(item));
        free(key);
        if (!ok) break;
      }
      free(it);
      if (!ok) return nullptr;
      out->assign(std::move(entries));
      return out;
    }
    default:
      return nullptr;
  }
}

// ---- binary documents that libplist cannot hand out safely --------------------------------
//
// libplist aborts the process (an assertion) when a dictionary key that holds a NUL character
// is read back, and a binary property list can carry such a key. Those documents are refused
// before libplist parses them. Anything malformed is left for libplist to reject.

uint64_t readBigEndian(const uint8_t* p, unsigned width) {
  uint64_t v = 0;
  for (unsigned i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

// The element count of the object at `off` and where its contents start.
bool binaryObjectCount(const uint8_t* p, size_t n, uint64_t off, uint64_t* count, uint64_t* contents) {
  if (off >= n) return false;
  const unsigned low = p[off] & 0x0F;
  if (low != 0x0F) {
    *count = low;
    *contents = off + 1;
    return true;
  }
  if (off + 2 > n || (p[off + 1] >> 4) != 0x1) return false;
  const unsigned width = 1u << (p[off + 1] & 0x0F);
  if (width > 8 || off + 2 + width > n) return false;
  *count = readBigEndian(p + off + 2, width);
  *contents = off + 2 + width;
  return true;
}

bool binaryStringHasNul(const uint8_t* p, size_t n, uint64_t off) {
  uint64_t count = 0, pos = 0;
  if (off >= n || !binaryObjectCount(p, n, off, &count, &pos) || pos > n) return false;
  const uint64_t available = n - pos;
  switch (p[off] >> 4) {
    case 0x5:  // ASCII
      return std::memchr(p + pos, 0, static_cast<size_t>(std::min(count, available))) != nullptr;
    case 0x6:  // UTF-16, big-endian units
      for (uint64_t i = 0; i < count && 2 * i + 1 < available; ++i)
        if (p[pos + 2 * i] == 0 && p[pos + 2 * i + 1] == 0) return true;
      return false;
    default:
      return false;
  }
}

bool binaryKeyHasNul(const uint8_t* p, size_t n) {
  constexpr size_t kHeader = 8, kTrailer = 32;
  if (n < kHeader + kTrailer || std::memcmp(p, "bplist00", kHeader) != 0) return false;
  const uint8_t* trailer = p + n - kTrailer;
  const unsigned offsetWidth = trailer[6], refWidth = trailer[7];
  const uint64_t objects = readBigEndian(trailer + 8, 8);
  const uint64_t table = readBigEndian(trailer + 24, 8);
  if (offsetWidth < 1 || offsetWidth > 8 || refWidth < 1 || refWidth > 8 || table >= n) return false;
  if (objects > (n - table) / offsetWidth) return false;
  auto offsetOf = [&](uint64_t ref) { return readBigEndian(p + table + ref * offsetWidth, offsetWidth); };
  for (uint64_t i = 0; i < objects; ++i) {
    const uint64_t off = offsetOf(i);
    if (off >= n || (p[off] >> 4) != 0xD) continue;  // dictionaries only
    uint64_t keys = 0, refs = 0;
    if (!binaryObjectCount(p, n, off, &keys, &refs) || refs > n) continue;
    keys = std::min<uint64_t>(keys, (n - refs) / refWidth);
    for (uint64_t k = 0; k < keys; ++k) {
      const uint64_t ref = readBigEndian(p + refs + k * refWidth, refWidth);
      if (ref < objects && binaryStringHasNul(p, n, offsetOf(ref))) return true;
    }
  }
  return false;
}

// libplist builds and frees its trees recursively, and it expands every reference of a binary
// document into a node of its own. A document nested some ten thousand levels deep therefore
// overflows the stack, and a few hundred bytes of binary objects that each refer twice to the
// next one unfold into billions of nodes. Both are refused before libplist sees them: deeper
// than this converter accepts anyway, or more nodes than an honest document of that size holds.

constexpr uint64_t kSpareNodes = 65536;  // room for a writer that shares containers

bool isBinaryDocument(const uint8_t* p, size_t n) { return n >= 8 && std::memcmp(p, "bplist00", 8) == 0; }

// Longest chain of containers from the top object, and the node count with every reference
// expanded. Every node but the top one costs a reference of at least one byte, so an honest
// document has fewer nodes than bytes. Anything that cannot be followed is refused as well;
// libplist refuses it too.
bool binaryDocumentIsTame(const uint8_t* p, size_t n) {
  constexpr size_t kHeader = 8, kTrailer = 32;
  if (n < kHeader + kTrailer) return false;
  const uint8_t* trailer = p + n - kTrailer;
  const unsigned offsetWidth = trailer[6], refWidth = trailer[7];
  const uint64_t objects = readBigEndian(trailer + 8, 8);
  const uint64_t top = readBigEndian(trailer + 16, 8);
  const uint64_t table = readBigEndian(trailer + 24, 8);
  if (offsetWidth < 1 || offsetWidth > 8 || refWidth < 1 || refWidth > 8) return false;
  if (objects == 0 || top >= objects || table < kHeader || table >= n - kTrailer) return false;
  if (objects > (n - kTrailer - table) / offsetWidth) return false;
  const uint64_t maxNodes = std::min<uint64_t>(n + kSpareNodes, std::numeric_limits<uint32_t>::max());

  struct Visit {
    uint32_t nodes = 0;  // expanded size, once done
    uint16_t height = 0;
    uint8_t state = 0;  // 0 not seen, 1 open, 2 done
  };
  std::vector<Visit> seen(static_cast<size_t>(objects));
  struct Frame {
    uint64_t object, refs, count, next;
    uint64_t nodes;
    unsigned height;
  };
  std::vector<Frame> stack;

  // Opens a container on the stack, or gives the size of a leaf. False when it cannot be read.
  auto enter = [&](uint64_t object, uint64_t* leafNodes) {
    const uint64_t off = readBigEndian(p + table + object * offsetWidth, offsetWidth);
    if (off >= n) return false;
    const unsigned marker = p[off] >> 4;
    if (marker < 0xA || marker > 0xD) {
      *leafNodes = 1;
      return true;
    }
    uint64_t count = 0, refs = 0;
    if (!binaryObjectCount(p, n, off, &count, &refs) || refs > n) return false;
    if (marker == 0xD) {
      if (count > (n - refs) / 2) return false;
      count *= 2;  // keys, then values
    }
    if (count > (n - refs) / refWidth) return false;
    if (stack.size() > static_cast<size_t>(kMaxDepth)) return false;
    seen[static_cast<size_t>(object)].state = 1;
    stack.push_back({object, refs, count, 0, 1, 1});
    *leafNodes = 0;
    return true;
  };
  // Adds a finished child to the container on top of the stack.
  auto addChild = [&](uint64_t nodes, unsigned height) {
    Frame& f = stack.back();
    f.nodes += nodes;
    f.height = std::max(f.height, height + 1);
    return f.nodes <= maxNodes;
  };

  uint64_t leaf = 0;
  if (!enter(top, &leaf)) return false;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next < f.count) {
      const uint64_t child = readBigEndian(p + f.refs + f.next * refWidth, refWidth);
      ++f.next;
      if (child >= objects) return false;
      const Visit& v = seen[static_cast<size_t>(child)];
      if (v.state == 1) return false;  // a cycle
      if (v.state == 2) {
        if (!addChild(v.nodes, v.height)) return false;
        continue;
      }
      if (!enter(child, &leaf)) return false;
      if (leaf && !addChild(leaf, 1)) return false;
      continue;
    }
    const Frame done = f;
    stack.pop_back();
    Visit& v = seen[static_cast<size_t>(done.object)];
    v.state = 2;
    v.nodes = static_cast<uint32_t>(done.nodes);
    v.height = static_cast<uint16_t>(done.height);
    if (!stack.empty() && !addChild(done.nodes, done.height)) return false;
  }
  return true;
}

// Element nesting of an XML document, within `limit` or not. Comments, processing
// instructions and CDATA sections are skipped, quoted attribute values may hold '>', and a
// closing tag must close the element opened last. A declaration with an internal subset or
// with quotes this scan might misread, or anything left open, counts as too deep.
bool xmlNestingWithin(const char* p, size_t n, size_t limit) {
  const std::string_view doc(p, n);
  std::vector<std::string_view> open;
  size_t i = 0;
  while (i < n) {
    const void* lt = std::memchr(p + i, '<', n - i);
    if (!lt) break;
    i = static_cast<size_t>(static_cast<const char*>(lt) - p);
    const std::string_view rest = doc.substr(i);
    auto skipPast = [&](size_t from, std::string_view end) {
      const size_t e = doc.find(end, from);
      i = e == std::string_view::npos ? n + 1 : e + end.size();
    };
    if (rest.starts_with("<!--")) {
      skipPast(i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      skipPast(i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      skipPast(i + 2, "?>");
    } else if (rest.starts_with("<!")) {
      const size_t e = doc.find('>', i);
      if (e == std::string_view::npos) return false;
      const std::string_view decl = doc.substr(i, e - i);
      if (decl.find('[') != std::string_view::npos || std::count(decl.begin(), decl.end(), '"') % 2 != 0 ||
          std::count(decl.begin(), decl.end(), '\'') % 2 != 0)
        return false;
      i = e + 1;
    } else {
      const bool closing = rest.size() > 1 && rest[1] == '/';
      size_t j = i + (closing ? 2 : 1);
      const size_t nameStart = j;
      while (j < n && !isSpace(p[j]) && p[j] != '>' && p[j] != '/') ++j;
      const std::string_view name = doc.substr(nameStart, j - nameStart);
      char quote = 0;
      for (; j < n; ++j) {
        if (quote) {
          if (p[j] == quote) quote = 0;
        } else if (p[j] == '"' || p[j] == '\'') {
          quote = p[j];
        } else if (p[j] == '>') {
          break;
        }
      }
      if (j >= n) return false;
      if (closing) {
        if (open.empty() || open.back() != name) return false;
        open.pop_back();
      } else if (p[j - 1] != '/') {
        open.push_back(name);
        if (open.size() > limit) return false;
      }
      i = j + 1;
    }
  }
  return i <= n;
}

bool tameDocument(const void* bytes, size_t n) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  if (isBinaryDocument(p, n)) return binaryDocumentIsTame(p, n);
  // <plist> around the top object, which is at depth 0.
  return xmlNestingWithin(static_cast<const char*>(bytes), n, static_cast<size_t>(kMaxDepth) + 2);
}

// Converts to a libplist tree; null when something is not a property-list type.
plist_t toNode(const Object& o, int depth) {
  if (depth > kMaxDepth) return nullptr;
  switch (o.type()) {
    case Type::String:
      return plist_new_string(static_cast<const String&>(o).value().c_str());
    case Type::Number: {
      const auto& n = static_cast<const Number&>(o);
      switch (n.kind()) {
        case Number::Kind::Boolean: return plist_new_bool(n.boolValue() ? 1 : 0);
        case Number::Kind::Integer: return plist_new_uint(static_cast<uint64_t>(n.integerValue()));
        case Number::Kind::Real: return plist_new_real(n.doubleValue());
      }
      return nullptr;
    }
    case Type::Data: {
      const auto& b = static_cast<const Data&>(o).bytes();
      return plist_new_data(reinterpret_cast<const char*>(b.data()), b.size());
    }
    case Type::Date: {
      const double s = static_cast<const Date&>(o).secondsSinceReference();
      const double whole = std::floor(s);
      const auto sec = static_cast<int32_t>(std::clamp(whole, -2147483648.0, 2147483647.0));
      const auto usec = static_cast<int32_t>(std::clamp((s - whole) * 1e6, 0.0, 999999.0));
      return plist_new_date(sec, usec);
    }
    case Type::Array: {
      plist_t arr = plist_new_array();
      for (const auto& item : static_cast<const Array&>(o).items()) {
        plist_t child = item ? toNode(*item, depth + 1) : nullptr;
        if (!child) {
          plist_free(arr);
          return nullptr;
        }
        plist_array_append_item(arr, child);
      }
      return arr;
    }
    case Type::Dictionary: {
      plist_t dict = plist_new_dict();
      for (const auto& [k, v] : static_cast<const Dictionary&>(o).entries()) {
        plist_t child = v ? toNode(*v, depth + 1) : nullptr;
        if (!child) {
          plist_free(dict);
          return nullptr;
        }
        plist_dict_set_item(dict, k.c_str(), child);
      }
      return dict;
    }
    case Type::Opaque:
      return nullptr;
  }
  return nullptr;
}

}  // namespace

ObjectRef parse(const void* bytes, size_t n) {
  if (!bytes || n == 0 || n > std::numeric_limits<uint32_t>::max()) return nullptr;
  if (binaryKeyHasNul(static_cast<const uint8_t*>(bytes), n)) return nullptr;
  if (!tameDocument(bytes, n)) return nullptr;
  PlistHolder h;
  plist_from_memory(static_cast<const char*>(bytes), static_cast<uint32_t>(n), &h.p);
  return h.p ? fromNode(h.p, 0) : nullptr;
}

std::optional<std::string> toXml(const Object& o) {
  PlistHolder h;
  h.p = toNode(o, 0);
  if (!h.p) return std::nullopt;
  char* xml = nullptr;
  uint32_t len = 0;
  plist_to_xml(h.p, &xml, &len);
  if (!xml) return std::nullopt;
  std::string out(xml, len);
  plist_to_xml_free(xml);
  return out;
}

std::optional<std::vector<uint8_t>> toBinary(const Object& o) {
  PlistHolder h;
  h.p = toNode(o, 0);
  if (!h.p) return std::nullopt;
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(h.p, &bin, &len);
  if (!bin) return std::nullopt;
  std::vector<uint8_t> out(reinterpret_cast<uint8_t*>(bin), reinterpret_cast<uint8_t*>(bin) + len);
  plist_to_bin_free(bin);
  return out;
}

ObjectRef readFile(const std::string& path, size_t maxBytes) {
  auto bytes = files::readWhole(path, maxBytes);
  if (!bytes) return nullptr;
  return parse(*bytes);
}

DictRef readDictFile(const std::string& path) { return asDict(readFile(path)); }

bool writeXmlFile(const Object& o, const std::string& path) {
  auto xml = toXml(o);
  return xml && files::writeAtomically(path, *xml);
}

}  // namespace pl
