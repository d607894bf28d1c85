// A window with one line edit that puts itself in front and reports on standard output:
// "ready" once its line edit has the keyboard focus, then "text:<text>" at every change.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Paste target"));
    auto* edit = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    window.resize(500, 80);
    window.show();
    window.raise();
    window.activateWindow();
    edit->setFocus();
    QObject::connect(edit, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("text:%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    QTimer poll;
    bool announced = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!announced && window.isActiveWindow() && QApplication::focusWidget() == edit) {
            announced = true;
            std::printf("ready\n");
            std::fflush(stdout);
        } else if (!announced) {
            window.activateWindow();
        }
    });
    poll.start(50);
    return app.exec();
}
