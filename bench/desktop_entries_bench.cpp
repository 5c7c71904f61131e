// The desktop's applications as the helper reads them: an applications folder the size of a full
// desktop's (300 entries, each with 80 translations of its name and comment, like the entries
// distributions ship), read whole the first time an application comes to the front, and the
// lookup of the entry behind one window after that.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/linux/desktop_applications.h"

namespace {

class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/vantrel-entries-XXXXXX";
    root_ = ::mkdtemp(pattern);
    for (int i = 0; i < 300; ++i) {
      std::string text = "[Desktop Entry]\nType=Application\nName=Application " + std::to_string(i) +
                         "\nExec=/usr/bin/app" + std::to_string(i) + " %U\nStartupWMClass=App" + std::to_string(i) +
                         "\nMimeType=text/plain;image/png;\n";
      for (int l = 0; l < 80; ++l) {
        const std::string lang = "l" + std::to_string(l);
        text += "Name[" + lang + "]=Anwendung " + std::to_string(i) + "\nComment[" + lang +
                "]=Eine Anwendung, die etwas tut, was man braucht\n";
      }
      text += "[Desktop Action new]\nName=New Window\nExec=/usr/bin/app" + std::to_string(i) + " --new\n";
      files::writeAtomically(root_ + "/org.example.App" + std::to_string(i) + ".desktop", text);
    }
  }
  ~Folder() {
    for (int i = 0; i < 300; ++i) ::unlink((root_ + "/org.example.App" + std::to_string(i) + ".desktop").c_str());
    ::rmdir(root_.c_str());
  }
  sys::xdg::DesktopFolders folders() const {
    sys::xdg::DesktopFolders f;
    f.applications = {root_};
    f.locale = "l40_XX.UTF-8";
    return f;
  }

 private:
  std::string root_;
};

const Folder& folder() {
  static const Folder f;
  return f;
}

void ReadTheApplicationsFolder(benchmark::State& state) {
  for (auto _ : state) {
    sys::xdg::ApplicationIndex index(folder().folders());
    benchmark::DoNotOptimize(index.applications().size());
  }
}
BENCHMARK(ReadTheApplicationsFolder)->Unit(benchmark::kMillisecond);

void FindTheApplicationOfAWindow(benchmark::State& state) {
  sys::xdg::ApplicationIndex index(folder().folders());
  sys::xdg::WindowHints hints;
  hints.instance = "app299";
  hints.windowClass = "App299";
  hints.programPath = "/usr/bin/app299";
  for (auto _ : state) benchmark::DoNotOptimize(index.forWindow(hints));
}
BENCHMARK(FindTheApplicationOfAWindow)->Unit(benchmark::kMicrosecond);

}  // namespace
