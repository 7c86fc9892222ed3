// rzset: the desktop program. Reads its command line (Usage.h), starts the
// socket library where the platform needs one, registers the settings
// windows and runs the main window.
#include "app/AppStart.h"
#include "app/CommandLine.h"
#include "app/MainDlg.h"
#include "app/Usage.h"
#include "forms/AppTexts.h"
#include "forms/UiThread.h"
#include "tools/cli/ProgramInfo.h"

#include <QApplication>
#include <QIcon>

#include <iostream>
#include <string>
#include <vector>

#ifdef RZ_HAVE_SETTINGS
#include "settings/RegisterSettings.h"
#endif

#ifdef _WIN32
#include <winsock2.h>
#endif

int main(int argc, char* argv[]) {
    // Before the window system: --help and --version need no display.
    const RzsetCommandLine cl = ParseRzsetCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (cl.action) {
    case RzsetCommandLine::Help:
        std::cout << rzset::kUsage << "\n" << rzset::kHelp;
        return 0;
    case RzsetCommandLine::Version:
        std::cout << VersionText("rzset");
        return 0;
    case RzsetCommandLine::UsageError:
        return ReportUsageError(std::cerr, "rzset", cl.error, rzset::kUsage);
    case RzsetCommandLine::Run:
        break;
    }
    CTraceFile trace(cl.tracePath);  // "--trace FILE"; outlives the windows
    if (trace.Failed()) return EXIT_USAGE_ERROR;

    QApplication app(argc, argv);
    // The desktop entry (rzset.desktop): desktops match the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("rzset"));
    InstallFormFont();
    // Every window of the program, the settings windows included, shows it.
    QApplication::setWindowIcon(AppIcon());

#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        ShowMessage(nullptr, QString::fromUtf8(MSG_SOCKET_INIT_FAILED));
        return 0;
    }
#endif

#ifdef RZ_HAVE_SETTINGS
    RegisterSettingsWindows();
#endif

    int result = 0;
    {
        CKORVELT_RZsetDlg dlg(nullptr, ListSerialPorts);
        result = dlg.exec();
    }

#ifdef _WIN32
    WSACleanup();
#endif
    (void)result;
    return 0;
}
