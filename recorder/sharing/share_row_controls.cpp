#include "recorder/sharing/share_row_controls.h"

#include <QCoreApplication>
#include <utility>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "recorder/sharing/upload_file_info_manager.h"

namespace qarv {

int ShareRowOfStopButton(int id) {
    for (int row = 0; row < kShareRowCount; ++row) {
        if (kShareRows[row].stopButton == id)
            return row;
    }
    return -1;
}

int ShareRowOfDeleteButton(int id) {
    for (int row = 0; row < kShareRowCount; ++row) {
        if (kShareRows[row].deleteButton == id)
            return row;
    }
    return -1;
}

QString ShareControlName(int id) {
    return QStringLiteral("control%1").arg(id);
}

ShareFileCheckbox::ShareFileCheckbox(int id, QWidget* parent) : CCheckBoxEx(id, parent) {
    setObjectName(ShareControlName(id));
}

void ShareFileCheckbox::SetFileName(const std::string& fileName) {
    QString name = ToQString(fileName);
    if (name.size() > kMaxNameCharacters) {
        // Never end on the first half of a surrogate pair.
        const bool splitsPair = name.at(kMaxNameCharacters - 1).isHighSurrogate();
        name.truncate(splitsPair ? kMaxNameCharacters - 1 : kMaxNameCharacters);
    }
    SetText(name);
}

UploadProgressBar::UploadProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);  // the row's label beside it shows the percentage
}

void UploadProgressBar::SetPercent(int percent) {
    if (!used_) {
        setRange(0, 100);
        setValue(0);
        used_ = true;
    }
    setValue(percent);
}

ShareRowButton::ShareRowButton(int id, std::shared_ptr<UploadFileInfoManager> manager, QWidget* page,
                               QWidget* parent)
    : QPushButton(parent), id_(id), manager_(std::move(manager)), page_(page) {
    setObjectName(ShareControlName(id));
    connect(this, &QPushButton::clicked, this, [this] { OnClicked(); });
}

void ShareRowButton::RequestRefresh(int row) const {
    QCoreApplication::postEvent(
        page_, new WindowMessageEvent(WM_SHARE_REFRESH, static_cast<std::uintptr_t>(row), 0));
}

StopUploadTaskButton::StopUploadTaskButton(int id, std::shared_ptr<UploadFileInfoManager> manager,
                                           QWidget* page, QWidget* parent)
    : ShareRowButton(id, std::move(manager), page, parent) {}

void StopUploadTaskButton::OnClicked() {
    if (ShareRowOfStopButton(id_) < 0)
        return;
    manager_->StopTask(video_);
    setEnabled(false);
    RequestRefresh(0);
}

DeleteTaskButton::DeleteTaskButton(int id, std::shared_ptr<UploadFileInfoManager> manager, QWidget* page,
                                   QWidget* parent)
    : ShareRowButton(id, std::move(manager), page, parent) {}

void DeleteTaskButton::OnClicked() {
    const int row = ShareRowOfDeleteButton(id_);
    if (row < 0)
        return;
    const auto* checkBox = page_->findChild<ShareFileCheckbox*>(ShareControlName(kShareRows[row].checkBox));
    if (!checkBox || !checkBox->IsChecked())
        return;
    manager_->RemoveTask(video_);
    RequestRefresh(row);
}

}  // namespace qarv
