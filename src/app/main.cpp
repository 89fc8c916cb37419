#include "net/curl_library.h"
#include "ui/pellmar_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Before any transfer and before the single-instance watcher thread starts.
    const CCurlLibrary curl;
    // Qt's own file dialogs on every desktop: the same dialog everywhere, and one tests can drive.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("pellmar-gate"));
    CPellmarApp app;
    return app.InitInstance();
}
