// A window of another program for the desktop test: it takes the keyboard focus, says "active" on
// its standard output and stays until its standard input closes.
#include <QApplication>
#include <QSocketNotifier>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Another program"));
    window.setGeometry(0, 0, 300, 200);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    std::puts("active");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char byte = 0;
        if (::read(STDIN_FILENO, &byte, 1) <= 0)
            application.quit();
    });
    return application.exec();
}
