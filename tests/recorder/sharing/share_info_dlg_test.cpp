#include "recorder/sharing/share_info_dlg.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "controls/button_ex.h"
#include "controls/color_static.h"
#include "controls/combo_box_ex_ex.h"
#include "controls/edit_ex.h"

namespace qarv {
namespace {

TEST(ShareInfoDlgTest, OpensWithItsCaptionLabelsAndCategories) {
    QString title, category, description;
    CShareInfoDlg dialog(title, category, description);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("视频分享"));
    for (const auto& [id, text] : {std::pair{CShareInfoDlg::kIdTitleLabel, QStringLiteral("标题 :")},
                                   std::pair{CShareInfoDlg::kIdCategoryLabel, QStringLiteral("分类 :")}}) {
        auto* label = dialog.findChild<CColorStatic*>(QStringLiteral("control%1").arg(id));
        ASSERT_NE(label, nullptr) << id;
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->TextColor(), QColor(Qt::white));
        EXPECT_EQ(label->BackColor(), QColor(100, 150, 150));
    }
    EXPECT_EQ(dialog.TitleField()->text(), QStringLiteral("编辑标题"));  // no title from the caller
    EXPECT_EQ(dialog.DescriptionField()->toPlainText(), QStringLiteral("描述分享的原因 ..."));
    QStringList categories;
    for (int i = 0; i < dialog.CategoryBox()->count(); ++i)
        categories << dialog.CategoryBox()->itemText(i);
    EXPECT_EQ(categories, QStringList({"炉石传说", "英雄联盟", "Dota", "最终幻想", "美女视频", "恶搞视频",
                                       "教育学习", "娱乐八卦", "趣味分享", "新发现"}));
    EXPECT_EQ(dialog.CategoryBox()->currentIndex(), 0);
    EXPECT_EQ(dialog.CategoryBox()->geometry(), QRect(40, 40, 120, CComboBoxExEx::kHeight));
    EXPECT_EQ(dialog.ConfirmButton()->geometry(), QRect(180, 38, 60, 25));  // (180, 38) to (240, 63)
    EXPECT_EQ(dialog.ConfirmButton()->Text(), QStringLiteral("确定"));
    EXPECT_TRUE(dialog.ConfirmButton()->Image().endsWith(QStringLiteral("Skin/Button.png")));
}

// What the user does, and the three strings the caller has afterwards.
struct UseCase {
    const char* name;
    QString callerTitle;
    std::optional<QString> typedTitle;
    int categoryIndex;  // -1: left as it opened
    std::optional<QString> typedDescription;
    bool confirm;  // "确定", or Escape
    QString title, category, description;
};

TEST(ShareInfoDlgTest, ConfirmHandsBackTheFieldsAndEscapeNothing) {
    const QString awkward = QStringLiteral("\"引号\"; 分号\n第二行\t<&>");
    const UseCase cases[] = {
        {"untouched keeps the title", "我的录像", {}, -1, {}, true, "我的录像", "炉石传说", ""},
        {"untouched without a title", "", {}, -1, {}, true, "", "炉石传说", ""},
        {"a title typed as the cue", "旧标题", "编辑标题", -1, {}, true, "", "炉石传说", ""},
        {"a description typed as the cue", "t", {}, 2, "描述分享的原因 ...", true, "t", "Dota", ""},
        {"texts come back verbatim", "", "标题 \"1\";", 9, awkward, true, "标题 \"1\";", "新发现", awkward},
        {"escape", "旧标题", "新标题", 3, "新描述", false, "旧标题", "old category", "old description"},
    };
    for (const UseCase& c : cases) {
        SCOPED_TRACE(c.name);
        QString title = c.callerTitle;
        QString category = QStringLiteral("old category");
        QString description = QStringLiteral("old description");
        CShareInfoDlg dialog(title, category, description);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        if (c.typedTitle)
            dialog.TitleField()->setText(*c.typedTitle);
        if (c.categoryIndex >= 0)
            dialog.CategoryBox()->setCurrentIndex(c.categoryIndex);
        if (c.typedDescription)
            dialog.DescriptionField()->setPlainText(*c.typedDescription);
        if (c.confirm)
            QTest::mouseClick(dialog.ConfirmButton(), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(dialog.result(), c.confirm ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(category, c.category);
        EXPECT_EQ(description, c.description);
    }
}

TEST(ShareInfoDlgTest, ClickingAFieldClearsItsCueAndTheBackgroundPutsItBack) {
    QString title, category, description;
    CShareInfoDlg dialog(title, category, description);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const QPoint background(250, 5);
    const std::pair<QWidget*, std::function<QString()>> fields[] = {
        {dialog.TitleField(), [&] { return dialog.TitleField()->text(); }},
        {dialog.DescriptionField()->viewport(), [&] { return dialog.DescriptionField()->toPlainText(); }},
    };
    for (const auto& [field, text] : fields) {
        const QString cue = text();
        QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_TRUE(text().isEmpty());
        QTest::mouseClick(&dialog, Qt::LeftButton, {}, background);
        EXPECT_EQ(text(), cue);
    }
    // Typed text stays when the focus goes.
    QTest::mouseClick(dialog.DescriptionField()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClicks(dialog.DescriptionField(), QStringLiteral("fun"));
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, background);
    QTest::mouseClick(dialog.ConfirmButton(), Qt::LeftButton);
    EXPECT_EQ(description, QStringLiteral("fun"));
    EXPECT_EQ(title, QString());
}

}  // namespace
}  // namespace qarv
