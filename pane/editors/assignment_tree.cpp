#include "pane/editors/assignment_tree.h"

#include "platform/bundle.h"
#include "settings/commands.h"
#include "settings/dict_access.h"

namespace assignments {
namespace {

using settings_detail::rawString;

constexpr uint16_t kFrontRowCommand = 107;
constexpr uint16_t kLaunchpadCommand = 136;

const pl::Dictionary* dictAt(const pl::Array* array, int64_t index) {
  if (!array || index < 0 || static_cast<uint64_t>(index) >= array->size()) return nullptr;
  const pl::Object* o = array->items()[static_cast<size_t>(index)].get();
  return o && o->type() == pl::Type::Dictionary ? static_cast<const pl::Dictionary*>(o) : nullptr;
}

const pl::Array* arrayOf(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = settings_detail::rawGet(d, key);
  return o && o->type() == pl::Type::Array ? static_cast<const pl::Array*>(o) : nullptr;
}

const pl::Array* commandsOf(const pl::Array* tree, int category) {
  return arrayOf(dictAt(tree, category), "commands");
}

// A command code as the resource must hold it: an integer number of 16 bits.
std::optional<uint16_t> codeOf(const pl::Dictionary* command) {
  const pl::Object* o = settings_detail::rawGet(command, "command");
  if (!o || o->type() != pl::Type::Number) return std::nullopt;
  const auto* n = static_cast<const pl::Number*>(o);
  if (n->kind() != pl::Number::Kind::Integer) return std::nullopt;
  const int64_t v = n->integerValue();
  if (v < 0 || v > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(v);
}

bool isString(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = settings_detail::rawGet(d, key);
  return o && o->type() == pl::Type::String;
}

// `key`, or on older systems `key106` when that is a non-empty string.
std::string nameFor(const pl::Dictionary* d, std::string_view key, std::string_view key106,
                    bool older) {
  if (older) {
    const std::string_view old = rawString(d, key106);
    if (!old.empty()) return std::string(old);
  }
  return std::string(rawString(d, key));
}

bool offeredOn(uint16_t code, uint32_t systemVersion) {
  if (code == kFrontRowCommand) return systemVersion < 0x1070;
  if (code == kLaunchpadCommand) return systemVersion >= 0x1070;
  return true;
}

std::string snippetTitle(const pl::Array* snippets, int64_t code, const LocString& loc) {
  const std::optional<int> snippet = SnippetOfCommand(code);
  return snippet ? snippetNameFromArray(snippets, *snippet, loc) : std::string();
}

}  // namespace

pl::ArrayRef AssignmentsTreeFromResource(const pl::ObjectRef& resource, uint32_t systemVersion) {
  auto tree = pl::makeArray();
  const pl::ArrayRef categories = pl::asArray(resource);
  if (!categories) return tree;
  const bool older = systemVersion <= 0x106F;
  for (const pl::ObjectRef& item : categories->items()) {
    const pl::DictRef category = pl::asDict(item);
    if (!category || !isString(category.get(), "category")) continue;
    const pl::Array* commands = arrayOf(category.get(), "commands");
    if (!commands) continue;
    auto kept = pl::makeArray();
    for (const pl::ObjectRef& entry : commands->items()) {
      const pl::DictRef command = pl::asDict(entry);
      if (!command || !isString(command.get(), "name")) continue;
      const std::optional<uint16_t> code = codeOf(command.get());
      if (!code || !offeredOn(*code, systemVersion)) continue;
      auto c = pl::makeDict();
      c->setInteger("command", *code);
      c->setString("name", nameFor(command.get(), "name", "name106", older));
      kept->append(c);
    }
    if (kept->empty()) continue;
    auto c = pl::makeDict();
    c->setString("category", nameFor(category.get(), "category", "category106", older));
    c->set("commands", kept);
    tree->append(c);
  }
  return tree;
}

pl::ArrayRef LoadAssignmentsTree(const platform::Bundle& bundle, uint32_t systemVersion) {
  const std::string path = bundle.pathForResource("Assignments", "plist");
  return AssignmentsTreeFromResource(path.empty() ? nullptr : pl::readFile(path), systemVersion);
}

bool findCommandInTree(const pl::Array* tree, int64_t code, const pl::Array* snippets,
                       const LocString& loc, int* categoryIndex, std::string* categoryName,
                       int* commandIndex, std::string* commandName) {
  if (categoryIndex) *categoryIndex = -1;
  if (categoryName) categoryName->clear();
  if (commandIndex) *commandIndex = -1;
  if (commandName) commandName->clear();
  if (!tree) return false;
  for (size_t i = 0; i < tree->size(); ++i) {
    const pl::Dictionary* category = dictAt(tree, static_cast<int64_t>(i));
    const pl::Array* commands = arrayOf(category, "commands");
    if (!commands) continue;
    for (size_t j = 0; j < commands->size(); ++j) {
      const pl::Dictionary* command = dictAt(commands, static_cast<int64_t>(j));
      const std::optional<uint16_t> c = codeOf(command);
      if (!c || *c != code) continue;
      if (categoryIndex) *categoryIndex = static_cast<int>(i);
      if (categoryName) *categoryName = std::string(rawString(category, "category"));
      if (commandIndex) *commandIndex = static_cast<int>(j);
      if (commandName) {
        *commandName = std::string(rawString(command, "name"));
        if (snippets) {
          std::string snippet = snippetTitle(snippets, code, loc);
          if (!snippet.empty()) *commandName = std::move(snippet);
        }
      }
      return true;
    }
  }
  return false;
}

std::optional<int> SnippetOfCommand(int64_t code) {
  if (code < 0 || code > 0xFFFF) return std::nullopt;
  const commands::Command c = commands::command(static_cast<uint16_t>(code));
  if (c.kind != commands::Kind::Snippet) return std::nullopt;
  return c.number;
}

std::string snippetNameFromArray(const pl::Array* snippets, int64_t index, const LocString& loc) {
  const std::string name(rawString(dictAt(snippets, index), "name"));
  if (name.empty()) return name;
  const std::string number = std::to_string(index + 1);
  if (name == "Text snippet " + number || name == "Snippet " + number) {
    return (loc ? loc("Snippet") : std::string("Snippet")) + " " + number;
  }
  return name;
}

size_t BrowserRowCount(const pl::Array* tree, int column, int selectedCategory) {
  if (!tree) return 0;
  if (column == 0) return tree->size();
  if (column != 1) return 0;
  const pl::Array* commands = commandsOf(tree, selectedCategory < 0 ? 0 : selectedCategory);
  return commands ? commands->size() : 0;
}

std::string BrowserTitle(const pl::Array* tree, const pl::Array* snippets, const LocString& loc,
                         int column, int row, int selectedCategory) {
  std::string title;
  if (column == 0) {
    title = std::string(rawString(dictAt(tree, row), "category"));
  } else if (column == 1) {
    const pl::Dictionary* command =
        dictAt(commandsOf(tree, selectedCategory < 0 ? 0 : selectedCategory), row);
    title = std::string(rawString(command, "name"));
    if (const std::optional<uint16_t> code = codeOf(command)) {
      std::string snippet = snippetTitle(snippets, *code, loc);
      if (!snippet.empty()) title = std::move(snippet);
    }
  }
  if (title.empty() || !loc) return title;
  return loc(title);
}

std::optional<uint16_t> CommandAtSelection(const pl::Array* tree, int selectedCategory,
                                           int selectedRow) {
  const pl::Array* commands = commandsOf(tree, selectedCategory < 0 ? 0 : selectedCategory);
  return codeOf(dictAt(commands, selectedRow < 0 ? 0 : selectedRow));
}

}  // namespace assignments
