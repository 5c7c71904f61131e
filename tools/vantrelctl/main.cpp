#include <cstdio>
#include <iostream>
#include <map>

#include "tools/vantrelctl/command.h"

namespace ctl {
namespace {

struct Entry {
  const char* usage;
  CommandFn fn;
};

std::map<std::string, Entry>& registry() {
  static std::map<std::string, Entry> r;
  return r;
}

}  // namespace

Registration::Registration(const char* name, const char* usage, CommandFn fn) {
  registry()[name] = Entry{usage, fn};
}

std::optional<std::string> option(const Args& args, const std::string& flag) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == flag) {
      if (i + 1 >= args.size()) throw UsageError(flag + " needs a value");
      return args[i + 1];
    }
  }
  return std::nullopt;
}

bool hasFlag(const Args& args, const std::string& flag) {
  for (const auto& a : args)
    if (a == flag) return true;
  return false;
}

long long parseNumber(const std::string& text, const std::string& what, long long min, long long max) {
  if (text.empty()) throw UsageError(what + ": empty number");
  size_t pos = 0;
  long long v = 0;
  try {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex && (text[2] == '-' || text[2] == '+')) throw UsageError(what + ": not a number: " + text);
    if (hex) {
      v = std::stoll(text.substr(2), &pos, 16);
      pos += 2;
    } else {
      v = std::stoll(text, &pos, 10);
    }
  } catch (const std::exception&) {
    throw UsageError(what + ": not a number: " + text);
  }
  if (pos != text.size()) throw UsageError(what + ": not a number: " + text);
  if (v < min || v > max)
    throw UsageError(what + ": " + text + " is outside " + std::to_string(min) + ".." + std::to_string(max));
  return v;
}

Args positionals(const Args& args, const std::vector<std::string>& valueFlags) {
  Args out;
  for (size_t i = 0; i < args.size(); ++i) {
    bool takesValue = false;
    for (const auto& f : valueFlags)
      if (args[i] == f) takesValue = true;
    if (takesValue) {
      ++i;
      continue;
    }
    if (args[i].rfind("--", 0) == 0) continue;
    out.push_back(args[i]);
  }
  return out;
}

void checkFlags(const Args& args, const std::vector<std::string>& known) {
  for (const auto& a : args) {
    if (a.rfind("--", 0) != 0) continue;
    bool ok = false;
    for (const auto& k : known)
      if (a == k) ok = true;
    if (!ok) throw UsageError("unknown option " + a);
  }
}

std::string dump(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void print(const nlohmann::json& j) { std::cout << dump(j) << std::endl; }

}  // namespace ctl

static void usage() {
  std::cerr << "usage: vantrelctl COMMAND [ARGS]\n";
  for (const auto& [name, e] : ctl::registry()) std::cerr << "  " << e.usage << "\n";
}

int main(int argc, char** argv) {
  if (argc < 2) {
    usage();
    return 2;
  }
  const std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    usage();
    return 0;
  }
  auto it = ctl::registry().find(name);
  if (it == ctl::registry().end()) {
    std::cerr << "vantrelctl: unknown command '" << name << "'\n";
    usage();
    return 2;
  }
  ctl::Args args(argv + 2, argv + argc);
  try {
    return it->second.fn(args);
  } catch (const ctl::UsageError& e) {
    std::cerr << "vantrelctl " << name << ": " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vantrelctl " << name << ": " << e.what() << "\n";
    return 1;
  }
}
