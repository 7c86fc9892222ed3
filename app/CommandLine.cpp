#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Qt's standard options, as QGuiApplication and QApplication read them
// (with one dash or two).
constexpr std::array<std::string_view, 13> kQtValueOptions = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"};
constexpr std::array<std::string_view, 4> kQtFlagOptions = {"reverse", "widgetcount", "nograb", "dograb"};

bool Contains(const auto& table, std::string_view name) {
    return std::find(table.begin(), table.end(), name) != table.end();
}

}  // namespace

RzsetCommandLine ParseRzsetCommandLine(const std::vector<std::string>& args) {
    RzsetCommandLine cl;
    auto fail = [&cl](std::string why) {
        cl.action = RzsetCommandLine::UsageError;
        cl.error = std::move(why);
        return cl;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            cl.action = RzsetCommandLine::Help;
            return cl;
        }
        if (a == "--version") {
            cl.action = RzsetCommandLine::Version;
            return cl;
        }
        if (a == "--trace" || a.rfind("--trace=", 0) == 0) {
            if (a == "--trace") {
                if (i + 1 == args.size()) return fail("--trace needs a file");
                cl.tracePath = args[++i];
            } else {
                cl.tracePath = a.substr(8);
            }
            if (cl.tracePath.empty()) return fail("--trace needs a file");
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::string_view name(a);
            name.remove_prefix(name.rfind("--", 0) == 0 ? 2 : 1);
            const std::size_t eq = name.find('=');
            if (Contains(kQtFlagOptions, name)) continue;
            if (eq != std::string_view::npos && Contains(kQtValueOptions, name.substr(0, eq))) continue;
            if (Contains(kQtValueOptions, name)) {
                if (i + 1 == args.size()) return fail(a + " needs a value");
                ++i;
                continue;
            }
            return fail("unknown option " + a);
        }
        return fail("unexpected argument " + a);
    }
    return cl;
}
