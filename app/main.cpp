// rzset: the desktop program. Starts the socket library where the platform
// needs one, registers the settings windows and runs the main window.
#include "app/AppStart.h"
#include "app/MainDlg.h"
#include "forms/AppTexts.h"
#include "forms/UiThread.h"

#include <QApplication>
#include <QIcon>

#ifdef RZ_HAVE_SETTINGS
#include "settings/RegisterSettings.h"
#endif

#ifdef _WIN32
#include <winsock2.h>
#endif

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CTraceFile trace(QApplication::arguments());  // "--trace FILE"
    if (trace.Failed()) return 2;
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
