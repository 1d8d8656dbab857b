#include "common/qt/message_box.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "common/log.h"

namespace qarv {

namespace {

// The answer given instead of showing a box, or NoButton when boxes are shown.
QMessageBox::StandardButton AutomaticAnswer() {
    const char* answer = std::getenv("QARV_TEST_ANSWER");
    if (answer == nullptr || *answer == '\0')
        return QMessageBox::NoButton;
    const QString name = QString::fromUtf8(answer);
    if (name.compare("Yes", Qt::CaseInsensitive) == 0)
        return QMessageBox::Yes;
    if (name.compare("No", Qt::CaseInsensitive) == 0)
        return QMessageBox::No;
    if (name.compare("Cancel", Qt::CaseInsensitive) == 0)
        return QMessageBox::Cancel;
    return QMessageBox::Ok;
}

}  // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                           QMessageBox::Icon icon, QMessageBox::StandardButtons buttons) {
    if (const auto answer = AutomaticAnswer(); answer != QMessageBox::NoButton) {
        std::printf("[message box] %s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        std::fflush(stdout);
        return answer;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void InstallLogSizeQuestion() {
    SetLogSizeQuestion([] {
        auto* app = QCoreApplication::instance();
        if (app == nullptr || QThread::currentThread() != app->thread())
            return false;
        return ShowMessageBox(nullptr, QStringLiteral("日志文件超过15M，是否删除早期日志？"),
                              QStringLiteral("警告"), QMessageBox::Warning,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
}

}  // namespace qarv
