// The baseline of the window start-up figures: a Qt program that shows one empty window of
// the recorder's main window size and nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(851, 561);
    window.show();
    return application.exec();
}
