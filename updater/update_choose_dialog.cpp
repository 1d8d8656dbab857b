#include "updater/update_choose_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "updater/dialog_units.h"

namespace qarv {

UpdateChooseDialog::UpdateChooseDialog(QWidget* parent) : QDialog(parent) {
    const DialogUnits& units = kShellDlg8;
    setWindowTitle(QStringLiteral("更新"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(units.Size(207, 122));

    auto* now = new QPushButton(QStringLiteral("马上升级"), this);
    now->setGeometry(units.Rect(40, 68, 50, 14));
    now->setDefault(true);
    auto* later = new QPushButton(QStringLiteral("下次升级"), this);
    later->setGeometry(units.Rect(109, 67, 50, 14));
    auto* text = new QLabel(QStringLiteral("有新版本"), this);
    text->setGeometry(units.Rect(59, 39, 76, 13));
    connect(now, &QPushButton::clicked, this, &UpdateChooseDialog::accept);
    connect(later, &QPushButton::clicked, this, &UpdateChooseDialog::reject);
    now->setFocus();
}

void UpdateChooseDialog::accept() {
    QDialog::accept();
}

void UpdateChooseDialog::reject() {
    updateNow_ = false;
    QDialog::reject();
}

}  // namespace qarv
