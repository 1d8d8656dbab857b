#pragma once
// The program's message boxes, and the log's size question shown as one.
// Called on the UI thread.
//
// For automated runs of the real programs, the environment variable QARV_TEST_ANSWER
// (Ok, Cancel, Yes or No) answers every box without showing it; the box's caption and
// text are then printed on standard output as "[message box] caption: text".

#include <QMessageBox>
#include <QString>

namespace qarv {

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                           QMessageBox::Icon icon, QMessageBox::StandardButtons buttons);

// Makes the log ask "日志文件超过15M，是否删除早期日志？" when it has grown past its limit.
// The box is shown only when the line is logged on the UI thread; a worker's line is
// appended without asking (the worker cannot wait for the UI thread, which may itself be
// waiting for the log), and the question comes with the next line of the UI thread.
void InstallLogSizeQuestion();

}  // namespace qarv
