// vantrelctl sim ...: drives the device simulator (vantrel-sim) on the session bus.
#ifdef QT_DBUS_LIB

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <map>

#include "sim/sim_names.h"
#include "tools/vantrelctl/command.h"
#include "tools/vantrelctl/session_bus.h"

namespace {

using ctl::Args;
using ctl::UsageError;
using nlohmann::json;

const char* kUsage =
    "sim SUBCOMMAND ...  drive the device simulator:\n"
    "      attach KEY [--ble] [--unclaimed] [--release N] [--product N] [--old-usb] | detach ID|all |\n"
    "      devices | catalogue | hid | press BUTTON [--device ID] [--raw] |\n"
    "      report [--device ID] [--bytes HEX] [--force] |\n"
    "      activate --bundle-id ID [--name N] [--executable E] [--signature SIG] [--no-info] |\n"
    "      console on|off|none | mods [shift] [command] [option] [control] [capslock] | none |\n"
    "      mouse N | accessibility on|off | pointer X Y |\n"
    "      dialog none|app|window | dialog --x X --y Y --width W --height H [--disabled] [--children N] |\n"
    "      process add --signature SIG --name N [--bundle-id ID] | process remove SIG | menu N|none |\n"
    "      state | seq | log [--since SEQ] [--kind K] [--text] |\n"
    "      wait KIND|any [--count N] [--since SEQ] [--timeout MS] [--text] |\n"
    "      ready [--timeout MS] | quit\n"
    "    Buttons: 0-15, or button1..button4, chord1, chord2, scroll.";

QDBusConnection bus() { return ctl::sessionBus(); }

bool simulatorRunning() {
  auto reply = bus().interface()->isServiceRegistered(simbus::kService);
  return reply.isValid() && reply.value();
}

// Calls one method and returns its first result; throws with the bus's message on failure.
QVariant callSim(const char* path, const char* interface, const char* method, const QList<QVariant>& args = {},
                 int timeoutMs = 30000) {
  auto c = bus();
  if (!simulatorRunning()) throw std::runtime_error("the simulator is not running (start vantrel-sim)");
  auto m = QDBusMessage::createMethodCall(simbus::kService, path, interface, method);
  m.setArguments(args);
  const auto reply = c.call(m, QDBus::Block, timeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) throw std::runtime_error(reply.errorMessage().toStdString());
  return reply.arguments().isEmpty() ? QVariant() : reply.arguments().first();
}

QVariant control(const char* method, const QList<QVariant>& args = {}, int timeoutMs = 30000) {
  return callSim(simbus::kControlPath, simbus::kControlInterface, method, args, timeoutMs);
}

json parsed(const QVariant& v) {
  const auto text = v.toString().toStdString();
  auto j = json::parse(text, nullptr, false);
  if (j.is_discarded()) throw std::runtime_error("the simulator answered something that is not JSON");
  return j;
}

long long number(const std::string& text, const std::string& what, long long min, long long max) {
  return ctl::parseNumber(text, what, min, max);
}

uint16_t buttonNumber(const std::string& s) {
  static const std::map<std::string, uint16_t> names = {
      {"button1", 0}, {"button2", 1}, {"button3", 2}, {"button4", 3},
      {"chord1", 8},  {"chord2", 9},  {"scroll", 12}};
  auto it = names.find(s);
  if (it != names.end()) return it->second;
  if (s.empty() || s.find_first_not_of("0123456789xXabcdefABCDEF") != std::string::npos)
    throw UsageError("unknown button \"" + s + "\": a number (0-15), or button1..button4, chord1, chord2, scroll");
  return static_cast<uint16_t>(number(s, "button", 0, 65535));
}

// Commands that take no words besides their options.
void noWords(const Args& args, const std::vector<std::string>& valueFlags, const char* usage) {
  if (!ctl::positionals(args, valueFlags).empty()) throw UsageError(std::string("usage: vantrelctl ") + usage);
}

uint32_t signature(const std::string& s) {
  if (s.size() != 4) throw UsageError("a signature has four characters: " + s);
  uint32_t v = 0;
  for (char c : s) v = (v << 8) | static_cast<unsigned char>(c);
  return v;
}

std::vector<uint8_t> hexBytes(const std::string& s) {
  if (s.size() % 2) throw UsageError("hex bytes come in pairs of digits");
  std::vector<uint8_t> out;
  for (size_t i = 0; i < s.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(number("0x" + s.substr(i, 2), "byte", 0, 255)));
  }
  return out;
}

void printLogText(const json& entries) {
  for (const auto& e : entries) {
    std::string who;
    if (e.contains("device")) who = "device " + std::to_string(e["device"].get<long long>()) + ": ";
    std::printf("[%lld] %s%s\n", e["seq"].get<long long>(), who.c_str(), e["text"].get<std::string>().c_str());
  }
  std::fflush(stdout);
}

int cmdSim(const Args& all) {
  if (all.empty()) throw UsageError(kUsage);
  const std::string sub = all[0];
  const Args args(all.begin() + 1, all.end());

  if (sub == "ready") {
    ctl::checkFlags(args, {"--timeout"});
    noWords(args, {"--timeout"}, "sim ready [--timeout MS]");
    const long long timeout = number(ctl::option(args, "--timeout").value_or("5000"), "--timeout", 0, 600000);
    QElapsedTimer t;
    t.start();
    while (!simulatorRunning()) {
      if (t.elapsed() > timeout) {
        ctl::print({{"ready", false}});
        return 1;
      }
      QThread::msleep(10);
    }
    ctl::print({{"ready", true}});
    return 0;
  }
  if (sub == "attach") {
    ctl::checkFlags(args, {"--ble", "--unclaimed", "--release", "--product", "--old-usb"});
    const auto pos = ctl::positionals(args, {"--release", "--product"});
    if (pos.size() != 1) throw UsageError("sim attach KEY (see sim catalogue)");
    json o = {{"ble", ctl::hasFlag(args, "--ble")},
              {"unclaimed", ctl::hasFlag(args, "--unclaimed")},
              {"old_usb", ctl::hasFlag(args, "--old-usb")}};
    if (auto r = ctl::option(args, "--release")) o["release"] = number(*r, "--release", 0, 0xFFFF);
    if (auto p = ctl::option(args, "--product")) o["product"] = number(*p, "--product", 0, 0xFFFF);
    const auto r = parsed(control("Attach", {QString::fromStdString(pos[0]), QString::fromStdString(ctl::dump(o))}));
    ctl::print(r);
    return r.value("ok", false) ? 0 : 1;
  }
  if (sub == "detach") {
    ctl::checkFlags(args, {});
    if (args.size() != 1) throw UsageError("sim detach ID|all");
    const qulonglong id = args[0] == "all" ? 0 : static_cast<qulonglong>(number(args[0], "device", 1, 1LL << 40));
    const bool ok = control("Detach", {id}).toBool();
    ctl::print({{"ok", ok}});
    return ok ? 0 : 1;
  }
  if (sub == "devices") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim devices");
    ctl::print({{"devices", parsed(control("Devices"))}});
    return 0;
  }
  if (sub == "catalogue") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim catalogue");
    ctl::print({{"catalogue", parsed(control("Catalogue"))}});
    return 0;
  }
  if (sub == "hid") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim hid");
    ctl::print({{"hid", parsed(callSim(simbus::kSystemPath, simbus::kSystemInterface, "HidDevices"))}});
    return 0;
  }
  if (sub == "press") {
    ctl::checkFlags(args, {"--device", "--raw"});
    const auto pos = ctl::positionals(args, {"--device"});
    if (pos.size() != 1) throw UsageError("sim press BUTTON [--device ID] [--raw]");
    const qulonglong dev = static_cast<qulonglong>(number(ctl::option(args, "--device").value_or("0"), "--device", 0, 1LL << 40));
    const auto r = parsed(control("Press", {dev, QVariant::fromValue(static_cast<ushort>(buttonNumber(pos[0]))),
                                            ctl::hasFlag(args, "--raw")}));
    ctl::print(r);
    return r.value("ok", false) ? 0 : 1;
  }
  if (sub == "report") {
    ctl::checkFlags(args, {"--device", "--bytes", "--force"});
    noWords(args, {"--device", "--bytes"}, "sim report [--device ID] [--bytes HEX] [--force]");
    const qulonglong dev = static_cast<qulonglong>(number(ctl::option(args, "--device").value_or("0"), "--device", 0, 1LL << 40));
    auto bytes = hexBytes(ctl::option(args, "--bytes").value_or("000102030405060708090a0b0c0d0e0f"));
    if (bytes.size() != 16) throw UsageError("a state report is 16 bytes (32 hex digits)");
    const auto r = parsed(control("Report", {dev, QByteArray(reinterpret_cast<const char*>(bytes.data()), 16),
                                             ctl::hasFlag(args, "--force")}));
    ctl::print(r);
    return r.value("ok", false) ? 0 : 1;
  }
  if (sub == "activate") {
    ctl::checkFlags(args, {"--bundle-id", "--name", "--executable", "--signature", "--no-info"});
    noWords(args, {"--bundle-id", "--name", "--executable", "--signature"},
            "sim activate --bundle-id ID [--name N] [--executable E] [--signature SIG] [--no-info]");
    json app = {{"bundle_id", ctl::option(args, "--bundle-id").value_or("")},
                {"name", ctl::option(args, "--name").value_or("")},
                {"executable", ctl::option(args, "--executable").value_or("")},
                {"signature", ctl::option(args, "--signature").value_or("")},
                {"info", !ctl::hasFlag(args, "--no-info")}};
    if (app["bundle_id"] == "" && app["name"] == "" && app["executable"] == "")
      throw UsageError("sim activate needs --bundle-id, --name or --executable");
    control("Activate", {QString::fromStdString(ctl::dump(app))});
    ctl::print({{"ok", true}, {"front", app}});
    return 0;
  }
  if (sub == "console") {
    if (args.size() != 1) throw UsageError("sim console on|off|none");
    if (args[0] == "on") control("SetConsole", {true, true, true});
    else if (args[0] == "off") control("SetConsole", {true, true, false});
    else if (args[0] == "none") control("SetConsole", {false, false, false});
    else throw UsageError("sim console on|off|none");
    ctl::print({{"console", args[0]}});
    return 0;
  }
  if (sub == "mods") {
    static const std::map<std::string, uint> bits = {
        {"command", 0x0100}, {"shift", 0x0200}, {"capslock", 0x0400}, {"option", 0x0800}, {"control", 0x1000}};
    uint mask = 0;
    for (const auto& a : args) {
      if (a == "none") continue;
      auto it = bits.find(a);
      if (it == bits.end()) throw UsageError("modifier keys: shift command option control capslock, or none");
      mask |= it->second;
    }
    control("SetModifiers", {mask});
    ctl::print({{"modifiers", mask}});
    return 0;
  }
  if (sub == "mouse") {
    if (args.size() != 1) throw UsageError("sim mouse BUTTON-MASK (bit 0 primary, bit 1 secondary)");
    const uint mask = static_cast<uint>(number(args[0], "mouse buttons", 0, 0xFFFFFFFFLL));
    control("SetMouseButtons", {mask});
    ctl::print({{"mouse_buttons", mask}});
    return 0;
  }
  if (sub == "accessibility") {
    if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) throw UsageError("sim accessibility on|off");
    control("SetAccessibility", {args[0] == "on"});
    ctl::print({{"accessibility", args[0] == "on"}});
    return 0;
  }
  if (sub == "pointer") {
    if (args.size() != 2) throw UsageError("sim pointer X Y");
    const double x = static_cast<double>(number(args[0], "x", -100000, 100000));
    const double y = static_cast<double>(number(args[1], "y", -100000, 100000));
    control("SetPointer", {x, y});
    ctl::print({{"pointer", {x, y}}});
    return 0;
  }
  if (sub == "dialog") {
    ctl::checkFlags(args, {"--x", "--y", "--width", "--height", "--disabled", "--children"});
    json w;
    const auto pos = ctl::positionals(args, {"--x", "--y", "--width", "--height", "--children"});
    if (!pos.empty()) {
      if (pos.size() != 1 || (pos[0] != "none" && pos[0] != "app" && pos[0] != "window"))
        throw UsageError("sim dialog none|app|window, or --x --y --width --height");
      w["depth"] = pos[0] == "app" ? "application" : pos[0];
    } else {
      w["depth"] = "button";
      for (const char* k : {"x", "y", "width", "height"}) {
        const auto v = ctl::option(args, std::string("--") + k);
        if (!v) throw UsageError(std::string("sim dialog needs --") + k);
        w[k] = number(*v, k, -100000, 100000);
      }
      w["enabled"] = !ctl::hasFlag(args, "--disabled");
      w["children"] = number(ctl::option(args, "--children").value_or("3"), "--children", -1, 100000);
    }
    control("SetFocusedWindow", {QString::fromStdString(ctl::dump(w))});
    ctl::print({{"window", w}});
    return 0;
  }
  if (sub == "process") {
    if (args.size() == 2 && args[0] == "remove") {
      const bool ok = control("RemoveProcess", {signature(args[1])}).toBool();
      ctl::print({{"ok", ok}});
      return ok ? 0 : 1;
    }
    if (args.empty() || args[0] != "add") throw UsageError("sim process add ... | process remove SIG");
    const Args rest(args.begin() + 1, args.end());
    ctl::checkFlags(rest, {"--signature", "--name", "--bundle-id"});
    noWords(rest, {"--signature", "--name", "--bundle-id"}, "sim process add --signature SIG --name N [--bundle-id ID]");
    if (!ctl::option(rest, "--signature") || !ctl::option(rest, "--name"))
      throw UsageError("sim process add needs --signature SIG (four characters) and --name N");
    json p = {{"signature", ctl::option(rest, "--signature").value_or("")},
              {"name", ctl::option(rest, "--name").value_or("")},
              {"bundle_id", ctl::option(rest, "--bundle-id").value_or("")}};
    signature(p["signature"].get<std::string>());
    control("AddProcess", {QString::fromStdString(ctl::dump(p))});
    ctl::print({{"ok", true}, {"process", p}});
    return 0;
  }
  if (sub == "menu") {
    if (args.size() != 1) throw UsageError("sim menu ITEM|none");
    const int item = args[0] == "none" ? -1 : static_cast<int>(number(args[0], "menu item", 0, 1000));
    control("SetMenuChoice", {item});
    ctl::print({{"menu_choice", item}});
    return 0;
  }
  if (sub == "seq") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim seq");
    ctl::print({{"seq", control("LastLogSeq").toULongLong()}});
    return 0;
  }
  if (sub == "state") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim state");
    ctl::print(parsed(control("State")));
    return 0;
  }
  if (sub == "log") {
    ctl::checkFlags(args, {"--since", "--kind", "--text"});
    noWords(args, {"--since", "--kind"}, "sim log [--since SEQ] [--kind K] [--text]");
    const qulonglong since = static_cast<qulonglong>(number(ctl::option(args, "--since").value_or("0"), "--since", 0, 1LL << 62));
    auto entries = parsed(control("Log", {since}));
    if (auto kind = ctl::option(args, "--kind")) {
      json kept = json::array();
      for (const auto& e : entries)
        if (e.value("kind", "") == *kind) kept.push_back(e);
      entries = kept;
    }
    if (ctl::hasFlag(args, "--text")) printLogText(entries);
    else ctl::print({{"log", entries}});
    return 0;
  }
  if (sub == "wait") {
    ctl::checkFlags(args, {"--count", "--since", "--timeout", "--text"});
    const auto pos = ctl::positionals(args, {"--count", "--since", "--timeout"});
    if (pos.size() != 1) throw UsageError("sim wait KIND [--count N] [--since SEQ] [--timeout MS]");
    const uint count = static_cast<uint>(number(ctl::option(args, "--count").value_or("1"), "--count", 1, 1000000));
    const qulonglong since = static_cast<qulonglong>(number(ctl::option(args, "--since").value_or("0"), "--since", 0, 1LL << 62));
    const uint timeout = static_cast<uint>(number(ctl::option(args, "--timeout").value_or("5000"), "--timeout", 0, 600000));
    const auto entries = parsed(control("WaitForLog", {since, QString::fromStdString(pos[0] == "any" ? "" : pos[0]), count, timeout},
                                   static_cast<int>(timeout) + 5000));
    const bool ok = entries.size() >= count;
    if (ctl::hasFlag(args, "--text")) printLogText(entries);
    else ctl::print({{"ok", ok}, {"log", entries}});
    return ok ? 0 : 1;
  }
  if (sub == "quit") {
    ctl::checkFlags(args, {});
    noWords(args, {}, "sim quit");
    control("Quit");
    ctl::print({{"ok", true}});
    return 0;
  }
  throw UsageError(std::string("unknown sim command \"") + sub + "\"\n  " + kUsage);
}

ctl::Registration r("sim", kUsage, &cmdSim);

}  // namespace

#endif  // QT_DBUS_LIB
