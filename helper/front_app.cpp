// Front-application tracking: the identifiers of the frontmost application.
#include "helper/front_app.h"

#include <algorithm>

#include "keys/mac_roman.h"
#include "platform/utf8.h"

namespace {

constexpr const char* kSystemPreferencesID = "com.apple.systempreferences";

// The four-character code of a signature: its four characters as Mac OS Roman bytes, the first
// in the most significant byte. 0 unless the signature is exactly four characters, each of them
// one that Mac OS Roman has (the text is UTF-8, so four bytes are not four characters).
uint32_t signatureCode(const std::string& signature) {
  uint32_t code = 0;
  int count = 0;
  for (size_t i = 0; i < signature.size();) {
    char32_t c = 0;
    size_t length = 1;
    if (!text::decodeUtf8(signature, i, &c, &length) || ++count > 4) return 0;
    i += length;
    bool substituted = false;
    const uint8_t byte = keys::unicodeToMacRoman(c, &substituted);
    if (substituted) return 0;
    code = (code << 8) | byte;
  }
  return count == 4 ? code : 0;
}

unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

// The length of a Pascal string without a trailing ".app" (lower case) when it has at least
// five characters.
int lengthWithoutAppSuffix(const unsigned char* p) {
  const int n = p[0];
  if (n >= 5 && p[n - 3] == '.' && p[n - 2] == 'a' && p[n - 1] == 'p' && p[n] == 'p') return n - 4;
  return n;
}

}  // namespace

bool FrontAppTracker::frontAppChanged(const sys::RunningApplication& app) {
  const std::string bundleURL = app.bundleURL.value_or(std::string());
  std::string name;
  std::string executable;
  std::string signature;
  pl::DictRef info = bundleURL.empty() ? nullptr : fBundles.infoDictionary(bundleURL);
  if (info) {
    name = info->stringValue("CFBundleName");
    executable = info->stringValue("CFBundleExecutable");
    signature = info->stringValue("CFBundleSignature");
  } else {
    name = sys::deletingPathExtension(sys::lastPathComponent(bundleURL));
    executable = sys::lastPathComponent(app.executableURL.value_or(std::string()));
  }

  fFrontAppBundleID = app.bundleIdentifier.value_or(std::string());
  fFrontAppExecutable = std::move(executable);
  fFrontAppBundleName = std::move(name);
  fFrontAppSignature = std::move(signature);
  fFrontApplication = signatureCode(fFrontAppSignature);

  const bool prefPaneIsFront = fFrontAppBundleID == kSystemPreferencesID;
  if (prefPaneIsFront == fPrefPaneIsFront) return false;
  fPrefPaneIsFront = prefPaneIsFront;
  return true;
}

bool FrontAppTracker::appShouldBeIgnored(std::string_view executable) {
  return executable == "SecurityAgent";
}

int16_t FrontAppTracker::pStringCmpNoAppSuffix(const unsigned char* a, const unsigned char* b) {
  if (a == nullptr || b == nullptr) return static_cast<int16_t>((a != nullptr) - (b != nullptr));
  const int na = lengthWithoutAppSuffix(a);
  const int nb = lengthWithoutAppSuffix(b);
  const int n = std::min(na, nb);
  for (int i = 1; i <= n; ++i) {
    const unsigned char ca = fold(a[i]);
    const unsigned char cb = fold(b[i]);
    if (ca != cb) return static_cast<int16_t>(ca - cb);
  }
  return static_cast<int16_t>(na - nb);
}
