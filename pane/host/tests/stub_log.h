// Test support: the call log of the stub pane (tests/stub_pane.cpp) in a temporary folder, and
// test bundles made from the stub's shared object.
#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dbus/testing/private_bus.h"
#include "platform/files.h"
#include "platform/plist.h"

namespace hosttest {

inline const std::string kStubBundle = VANTREL_STUB_BUNDLE;
inline const std::string kStubExecutable = kStubBundle + "/Contents/MacOS/StubPane";

class StubLog {
 public:
  StubLog() : path_(dir_.filePath("calls.log").toStdString()) {}
  const std::string& path() const { return path_; }
  std::string folder() const { return dir_.path().toStdString(); }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    const auto text = files::readWhole(path_);
    if (!text) return out;
    size_t start = 0;
    while (start < text->size()) {
      const size_t end = text->find('\n', start);
      out.push_back(text->substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return out;
  }
  bool has(const std::string& line) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
  }
  // Runs the event loop until the log holds `line` (or the time is up).
  bool waitFor(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return testing_support::waitUntil([&] { return has(line); }, timeout);
  }

 private:
  QTemporaryDir dir_;
  std::string path_;
};

// A bundle folder "<parent>/<name>" with this information dictionary and, when `executable` is
// given, a copy of that file as its program. Returns the folder.
inline std::string makeBundle(const std::string& parent, const std::string& name, const pl::DictRef& info,
                              const std::string& executable = kStubExecutable) {
  const std::string folder = files::join(parent, name);
  files::makeDirectories(folder + "/Contents/MacOS");
  if (info) pl::writeXmlFile(*info, folder + "/Contents/Info.plist");
  const std::string program = info ? info->stringValue("CFBundleExecutable") : "";
  if (!executable.empty() && !program.empty() && program.find('/') == std::string::npos) {
    std::error_code ignored;
    std::filesystem::copy_file(executable, folder + "/Contents/MacOS/" + program,
                               std::filesystem::copy_options::overwrite_existing, ignored);
  }
  return folder;
}

inline pl::DictRef stubInfo(const std::string& principalClass = "StubPane",
                            const std::string& executable = "StubPane") {
  auto info = pl::makeDict();
  info->setString("CFBundleIdentifier", "com.halvorn.vantrel.tests.stubpane");
  if (!executable.empty()) info->setString("CFBundleExecutable", executable);
  if (!principalClass.empty()) info->setString("NSPrincipalClass", principalClass);
  return info;
}

}  // namespace hosttest
