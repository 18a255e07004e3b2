#include "uilanguage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace velmar;

TEST(JapaneseQtTexts, DialogButtonsSpeakJapaneseWhateverTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(installJapaneseQtTexts(*qApp));

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_NE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_TRUE(buttons->button(QDialogButtonBox::Open)->text().startsWith(QStringLiteral("開く")))
        << buttons->button(QDialogButtonBox::Open)->text().toStdString();

    // The other tests see Qt's texts as they were.
    for (QTranslator *t : qApp->findChildren<QTranslator *>(Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    QLocale::setDefault(before);
}
