#include "platform/bundle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/files.h"

namespace {

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/vantrel-bundle-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

// Sets the locale variables for one test and restores them afterwards.
struct LocaleEnv {
  std::map<std::string, std::optional<std::string>> saved;
  LocaleEnv(const char* lcAll, const char* lcMessages, const char* lang) {
    set("LC_ALL", lcAll);
    set("LC_MESSAGES", lcMessages);
    set("LANG", lang);
  }
  void set(const char* name, const char* value) {
    if (!saved.count(name)) {
      const char* old = std::getenv(name);
      saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~LocaleEnv() {
    for (auto& [name, value] : saved) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
};

TEST(StringsFile, ReadsTheSyntaxWithCommentsAndEscapes) {
  const auto t = platform::parseStringsFile(
      "/* block\n comment */\n"
      "\"plain\" = \"value\";\n"
      "// line comment\n"
      "\"esc\" = \"a\\\"b\\\\c\\nd\\te\";  /* after */\n"
      "\"uni\" = \"\\U00e9\\u20AC\";\n"
      "\"pair\" = \"\\UD83D\\UDE00\";\n"
      "\"lone\" = \"\\UD83Dx\";\n"
      "\"octal\" = \"\\101\\060\";\n"
      "bare_key = bare.value-1;\n"
      "\"same\";\n"
      "\"dup\" = \"first\"; \"dup\" = \"second\";\n"
      "\"utf8\" = \"Rückschritt ⌘\";");
  EXPECT_EQ(t.at("plain"), "value");
  EXPECT_EQ(t.at("esc"), "a\"b\\c\nd\te");
  EXPECT_EQ(t.at("uni"), "é€");
  EXPECT_EQ(t.at("pair"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(t.at("lone"), "\xEF\xBF\xBDx");
  EXPECT_EQ(t.at("octal"), "A0");
  EXPECT_EQ(t.at("bare_key"), "bare.value-1");
  EXPECT_EQ(t.at("same"), "same");
  EXPECT_EQ(t.at("dup"), "second");
  EXPECT_EQ(t.at("utf8"), "Rückschritt ⌘");
  EXPECT_EQ(t.size(), 10u);
}

TEST(StringsFile, ReadsUtf16WithByteOrderMark) {
  const std::string text = "\"k\" = \"\xC3\xBC\";";  // ü
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (unsigned char c : std::string("\"k\" = \"")) le += {static_cast<char>(c), '\0'}, be += {'\0', static_cast<char>(c)};
  le += {'\xFC', '\0'};
  be += {'\0', '\xFC'};
  for (unsigned char c : std::string("\";")) le += {static_cast<char>(c), '\0'}, be += {'\0', static_cast<char>(c)};
  EXPECT_EQ(platform::parseStringsFile(le).at("k"), "ü");
  EXPECT_EQ(platform::parseStringsFile(be).at("k"), "ü");
  EXPECT_EQ(platform::parseStringsFile("\xEF\xBB\xBF" + text).at("k"), "ü");
}

TEST(StringsFile, MalformedTextYieldsWhatCanBeRead) {
  // Missing ';', a stray token, a missing value, then good entries again.
  auto t = platform::parseStringsFile(
      "\"a\" = \"1\";\n"
      "\"b\" = \"2\"\n"
      "\"c\" = \"3\";\n"
      "@@@ ;\n"
      "\"d\" = ;\n"
      "\"e\" = \"5\";\n"
      "\"semi;inside\" = \"x;y\";\n");
  EXPECT_EQ(t.at("a"), "1");
  EXPECT_EQ(t.count("b"), 0u);  // swallowed with its neighbour up to the next ';'
  EXPECT_EQ(t.count("d"), 0u);
  EXPECT_EQ(t.at("e"), "5");
  EXPECT_EQ(t.at("semi;inside"), "x;y");

  // Truncated files: an unterminated string, comment or escape keeps the entries before it.
  for (const char* tail : {"\"k\" = \"unterminated", "/* open comment", "\"k\" = \"x\\",
                           "\"k\" =", "\"k\"", "\"k\" = \"v\"", "=", ";;;", "\"\\U"}) {
    t = platform::parseStringsFile(std::string("\"ok\" = \"yes\";") + tail);
    EXPECT_EQ(t.at("ok"), "yes") << tail;
    EXPECT_EQ(t.count("k"), 0u) << tail;
  }

  // Random bytes and random mixtures of the syntax's characters never crash or hang.
  std::mt19937 rng(7);
  const std::string alphabet = "\"=;/*\\ \nUu0a;\xFF\xFE\x00";
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 64, '\0');
    for (char& c : text) c = round % 2 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
    (void)platform::parseStringsFile(text);
  }
}

TEST(Bundle, LanguageFollowsTheLocale) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::languagesForLocale("de_DE.UTF-8"), (V{"de_DE", "de"}));
  EXPECT_EQ(platform::languagesForLocale("fr_CA@euro"), (V{"fr_CA", "fr"}));
  EXPECT_EQ(platform::languagesForLocale("pt-BR"), (V{"pt_BR", "pt"}));
  EXPECT_EQ(platform::languagesForLocale("de"), (V{"de"}));
  EXPECT_EQ(platform::languagesForLocale("C.UTF-8"), V{});
  EXPECT_EQ(platform::languagesForLocale("POSIX"), V{});
  EXPECT_EQ(platform::languagesForLocale(""), V{});

  // LC_ALL wins over LC_MESSAGES, which wins over LANG; empty ones do not count.
  {
    LocaleEnv env("de_AT.UTF-8", "fr_FR", "en_US");
    EXPECT_EQ(platform::userLocaleName(), "de_AT.UTF-8");
  }
  {
    LocaleEnv env("", "fr_FR", "en_US");
    EXPECT_EQ(platform::userLocaleName(), "fr_FR");
  }
  {
    LocaleEnv env(nullptr, nullptr, "en_US");
    EXPECT_EQ(platform::userLocaleName(), "en_US");
  }
}

TEST(Bundle, LooksUpTheUsersLanguageThenEnglishThenTheKey) {
  TempDir dir;
  ASSERT_TRUE(files::writeAtomically(files::join(dir.path, "en.lproj/Localizable.strings"),
                                     "\"hello\" = \"Hello\"; \"only en\" = \"English only\";"));
  ASSERT_TRUE(files::writeAtomically(files::join(dir.path, "de.lproj/Localizable.strings"),
                                     "\"hello\" = \"Hallo\";"));
  ASSERT_TRUE(files::writeAtomically(files::join(dir.path, "de.lproj/Other.strings"),
                                     "\"hello\" = \"Servus\";"));
  ASSERT_TRUE(files::writeAtomically(files::join(dir.path, "fr.lproj/Localizable.strings"),
                                     "this is { not a strings file"));
  platform::Bundle bundle(dir.path);
  EXPECT_EQ(bundle.localizations(), (std::vector<std::string>{"de", "en", "fr"}));

  {
    LocaleEnv env(nullptr, "de_DE.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(bundle.localizedString("hello", "", "Localizable"), "Hallo");
    EXPECT_EQ(bundle.localizedString("hello", "", "Other"), "Servus");
    EXPECT_EQ(bundle.localizedString("only en", "", "Localizable"), "English only");
    EXPECT_EQ(bundle.localizedString("missing", "", "Localizable"), "missing");
    EXPECT_EQ(bundle.localizedString("missing", "Default", "Localizable"), "Default");
    EXPECT_EQ(bundle.localizedString("hello", "", "NoSuchTable"), "hello");
    // A bundle's own language wins over the locale.
    const platform::Bundle english(bundle.resourcePath(), "en");
    EXPECT_EQ(english.localizedString("hello", "", "Localizable"), "Hello");
  }
  {
    LocaleEnv env("C", nullptr, nullptr);
    EXPECT_EQ(bundle.localizedString("hello", "", "Localizable"), "Hello");
  }
  {
    // A broken table counts as empty: English takes over.
    LocaleEnv env("fr_FR.UTF-8", nullptr, nullptr);
    EXPECT_EQ(bundle.localizedString("hello", "", "Localizable"), "Hello");
  }
  {
    LocaleEnv env("ja_JP.UTF-8", nullptr, nullptr);
    EXPECT_EQ(bundle.localizedString("hello", "", "Localizable"), "Hello");
  }
  platform::Bundle nowhere(files::join(dir.path, "absent"));
  EXPECT_EQ(nowhere.localizedString("hello", "", "Localizable"), "hello");
  EXPECT_EQ(nowhere.pathForResource("x", "plist"), "");
}

TEST(Bundle, MainBundleShipsEnglishAndGerman) {
  LocaleEnv env("de_DE.UTF-8", nullptr, nullptr);
  EXPECT_EQ(platform::Bundle::main().resourcePath(), VANTREL_RESOURCE_DIR);
  EXPECT_EQ(platform::Bundle::main().localizedString("(none)", "", "Localizable"), "(keine)");
  const platform::Bundle english(platform::Bundle::main().resourcePath(), "en");
  EXPECT_EQ(english.localizedString("(none)", "", "Localizable"), "(none)");

  TempDir dir;
  platform::Bundle::setMainResourcePath(dir.path);
  EXPECT_EQ(platform::Bundle::main().resourcePath(), dir.path);
  EXPECT_EQ(platform::Bundle::main().localizedString("(none)", "", "Localizable"), "(none)");
  platform::Bundle::setMainResourcePath("");
  EXPECT_EQ(platform::Bundle::main().resourcePath(), VANTREL_RESOURCE_DIR);
}

TEST(Bundle, BundleFolderHasInfoDictionaryResourcesAndExecutable) {
  TempDir dir;
  const std::string pane = files::join(dir.path, "Some.prefPane");
  std::filesystem::create_directories(pane + "/Contents/Resources/en.lproj");
  ASSERT_TRUE(files::writeAtomically(pane + "/Contents/Resources/en.lproj/Localizable.strings",
                                     "\"hello\" = \"Hello\";\n"));
  EXPECT_FALSE(platform::Bundle::withBundlePath(pane));  // no information dictionary yet

  ASSERT_TRUE(files::writeAtomically(pane + "/Contents/Info.plist", "not a property list"));
  EXPECT_FALSE(platform::Bundle::withBundlePath(pane));

  auto info = pl::makeDict();
  info->set("CFBundleExecutable", pl::makeString("Some"));
  info->set("CFBundleVersion", pl::makeString("1.2"));
  info->set("CFBundleIdentifier", pl::makeInteger(7));
  ASSERT_TRUE(pl::writeXmlFile(*info, pane + "/Contents/Info.plist"));
  const auto bundle = platform::Bundle::withBundlePath(pane, "en");
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->bundlePath(), pane);
  EXPECT_EQ(bundle->resourcePath(), pane + "/Contents/Resources");
  EXPECT_EQ(bundle->executablePath(), pane + "/Contents/MacOS/Some");
  EXPECT_EQ(bundle->infoString("CFBundleVersion"), "1.2");
  EXPECT_EQ(bundle->infoString("CFBundleIdentifier"), "");  // not text
  EXPECT_EQ(bundle->localizedString("hello", "", "Localizable"), "Hello");

  // An executable name that would leave the bundle is no executable.
  info->set("CFBundleExecutable", pl::makeString("../../evil"));
  ASSERT_TRUE(pl::writeXmlFile(*info, pane + "/Contents/Info.plist"));
  EXPECT_EQ(platform::Bundle::withBundlePath(pane)->executablePath(), "");

  // A plain resources folder is no bundle folder.
  const platform::Bundle plain(pane + "/Contents/Resources");
  EXPECT_EQ(plain.bundlePath(), "");
  EXPECT_FALSE(plain.infoDictionary());
  EXPECT_EQ(plain.executablePath(), "");
}

}  // namespace
