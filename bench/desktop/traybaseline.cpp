// The least a Qt Widgets program does to put an icon in the system tray: the yardstick that
// shellbench holds the tray program's start-up, memory and idle CPU against.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap glyph(18, 18);
    glyph.fill(Qt::darkGray);
    QSystemTrayIcon icon{QIcon(glyph)};
    icon.setToolTip(QStringLiteral("Tray baseline"));
    icon.show();
    return QApplication::exec();
}
