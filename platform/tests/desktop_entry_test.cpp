#include "platform/linux/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DesktopEntryFiles, ReadAsTheDesktopReadsThem) {
  using sys::xdg::parseDesktopEntry;
  // Comments, blank lines, CRLF, blanks around '=', other groups and localised keys.
  auto e = parseDesktopEntry(
      "# comment\n\n[Desktop Entry]\r\n  Type = Application\nName[de]=Helfer\n"
      "Name=\\sLeading, tab\\t, backslash \\\\ and \\x\nExec=tool\n[Desktop Action x]\n"
      "Name=Action\nExec=other\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->type, "Application");
  EXPECT_EQ(e->name, " Leading, tab\t, backslash \\ and \\x");
  EXPECT_EQ(e->exec, "tool");
  // The group may come later; the last of a repeated key wins.
  e = parseDesktopEntry("[Other]\nA=1\n[Desktop Entry]\nName=a\nName=b\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "b");
  EXPECT_FALSE(e->type);

  for (const char* broken : {
           "",                                                 // nothing
           "Name=x\n[Desktop Entry]\nType=Application\n",      // a key outside any group
           "[Other]\nType=Application\n",                      // no Desktop Entry group
           "[Desktop Entry]\nType=Application\njust words\n",  // a line of no kind
           "[Desktop Entry\nType=Application\n",               // a group not closed
           "[Desktop Entry]\n=Application\n",                  // no key
           "[Desktop Entry]\nName]=x\n",                       // a key with a stray bracket
           "[Desktop Entry]\nName=\xFF\n",                     // not UTF-8
       })
    EXPECT_FALSE(parseDesktopEntry(broken)) << broken;
  std::string withNul = "[Desktop Entry]\nName=a";
  withNul.push_back('\0');
  EXPECT_FALSE(parseDesktopEntry(withNul + "b\n"));
}

TEST(ExecValues, NameTheProgramTheyStart) {
  const auto program = [](std::string_view exec) -> std::string {
    const auto args = sys::xdg::execArguments(exec, "The Name", "/entries/x.desktop");
    if (!args) return "<broken>";
    return sys::xdg::execProgram(*args).value_or("<none>");
  };
  EXPECT_EQ(program("/usr/bin/tool --flag %U"), "/usr/bin/tool");
  EXPECT_EQ(program("  tool"), "tool");
  EXPECT_EQ(program("\"/opt/My Apps/tool\" %f"), "/opt/My Apps/tool");
  // Inside quotes \" \` \$ \\ stand for the character; other backslashes stay.
  EXPECT_EQ(program(R"("/a \"b\" \`c\` \$d \\e \n")"), R"(/a "b" `c` $d \e \n)");
  EXPECT_EQ(program(R"(/opt/a\ b)"), "/opt/a b");
  EXPECT_EQ(program("'/opt/single quoted' x"), "/opt/single quoted");
  EXPECT_EQ(program("/opt/50%%/tool"), "/opt/50%/tool");
  EXPECT_EQ(program("/opt/%c/bin"), "/opt/The Name/bin");
  EXPECT_EQ(program("%k"), "/entries/x.desktop");
  EXPECT_EQ(program("%U /usr/bin/tool"), "/usr/bin/tool");  // a code that stands for nothing
  EXPECT_EQ(program("\"\" x"), "");                          // an empty quoted program
  EXPECT_EQ(program("env LANG=C FOO=\"a b\" tool --x"), "tool");
  EXPECT_EQ(program("/usr/bin/env -i -u HOME --unset PATH -C /tmp -- X=1 /bin/prog"), "/bin/prog");
  EXPECT_EQ(program("env -uHOME --chdir=/tmp - prog"), "prog");
  EXPECT_EQ(program("env A=1 -x"), "-x");  // after an assignment options have ended
  EXPECT_EQ(program("env -S 'prog arg'"), "<none>");
  EXPECT_EQ(program("env -vS'prog arg'"), "<none>");
  EXPECT_EQ(program("env A=1"), "<none>");
  EXPECT_EQ(program(""), "<none>");
  EXPECT_EQ(program("%f %U"), "<none>");
  EXPECT_EQ(program("\"/opt/unclosed"), "<broken>");
  EXPECT_EQ(program("'/opt/unclosed"), "<broken>");
}

TEST(DesktopEntryFiles, CarryWhatApplicationsAreKnownBy) {
  const auto e = sys::xdg::parseDesktopEntry(
      "[Desktop Entry]\nType=Application\nName=Files\nName[de]=Dateien\nName[de_CH]=Dateie\n"
      "Name[de@euro]=Dateien (Euro)\nName[de_CH@euro]=Dateie (Euro)\nName[de]=Dateien!\n"
      "StartupWMClass=org.gnome.Nautilus\nIcon=folder\nMimeType=inode/directory;;application/x-x;\n"
      "NoDisplay=true\nHidden=false\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->startupWMClass, "org.gnome.Nautilus");
  EXPECT_EQ(e->icon, "folder");
  EXPECT_EQ(e->mimeTypes, (std::vector<std::string>{"inode/directory", "application/x-x"}));
  EXPECT_TRUE(e->noDisplay);
  EXPECT_FALSE(e->hidden);
  // Locales as desktops match them: the most specific name there is, the encoding ignored; a
  // repeated localised key counts once, the last one.
  EXPECT_EQ(e->nameFor("de_CH.UTF-8@euro"), "Dateie (Euro)");
  EXPECT_EQ(e->nameFor("de_CH.UTF-8"), "Dateie");
  EXPECT_EQ(e->nameFor("de_AT@euro"), "Dateien (Euro)");
  EXPECT_EQ(e->nameFor("de_AT.UTF-8"), "Dateien!");
  EXPECT_EQ(e->nameFor("fr_FR.UTF-8"), "Files");
  EXPECT_EQ(e->nameFor("C"), "Files");
  EXPECT_EQ(e->nameFor(""), "Files");
  EXPECT_EQ(sys::xdg::parseDesktopEntry("[Desktop Entry]\nHidden=true\n")->hidden, true);
}

TEST(KeyFiles, KeepEveryGroup) {
  const auto f = sys::xdg::parseKeyFile(
      "[Default Applications]\naudio/mpeg=a.desktop;b.desktop\naudio/mpeg=c.desktop\n"
      "[Added Associations]\naudio/flac=d.desktop;\n");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->value("Default Applications", "audio/mpeg"), "c.desktop");
  EXPECT_EQ(f->value("Added Associations", "audio/flac"), "d.desktop;");
  EXPECT_FALSE(f->value("Added Associations", "audio/mpeg"));
  EXPECT_FALSE(f->value("Removed Associations", "audio/mpeg"));
  EXPECT_FALSE(sys::xdg::parseDesktopEntry("[Default Applications]\na=b\n"));
}

}  // namespace
