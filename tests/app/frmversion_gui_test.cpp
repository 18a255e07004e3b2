#include "document/document.h"
#include "frmversion.h"
#include "mdimain.h"
#include "platform/twips.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace velmar;

namespace
{

class AboutBoxTest : public ::testing::Test
{
  protected:
    Document doc;
    mdiMain window{doc};
    void SetUp() override { window.show(); }
    frmVersion *box() { return window.findChild<frmVersion *>(QStringLiteral("frmVersion")); }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

} // namespace

TEST_F(AboutBoxTest, NotThereUntilAskedForThenShownModeless)
{
    EXPECT_EQ(box(), nullptr);
    window.findChild<QAction *>(QStringLiteral("mVersion"))->trigger();
    frmVersion *v = box();
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->isVisible());
    EXPECT_FALSE(v->isModal());
    EXPECT_EQ(v->windowTitle(), QStringLiteral("Velmarのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(v->size(), QSize(312, 229)) << "client 4680 x 3435 twips";
    // Asking again shows the same box.
    window.mVersion_Click();
    EXPECT_EQ(box(), v);
}

TEST_F(AboutBoxTest, ShowsItsTextsInArialAtTheirPlaces)
{
    window.mVersion_Click();
    frmVersion *v = box();
    ASSERT_NE(v, nullptr);
    struct Expected {
        const char *name;
        QString text;
        QRect place;
    };
    const Expected labels[] = {
        {"Label1", QStringLiteral("Velmar for Linux"), twipsRect(1320, 360, 1665, 240)},
        {"Label2", QStringLiteral("Version " VELMAR_VERSION), twipsRect(1575, 720, 1200, 240)},
        {"Label3", QString(), twipsRect(960, 1080, 2595, 240)},
        {"Label4", QString(), twipsRect(1200, 1560, 1815, 240)},
        {"Label6", QString(), twipsRect(1200, 1920, 1875, 240)},
    };
    for (const Expected &e : labels) {
        auto *label = v->findChild<QLabel *>(QString::fromLatin1(e.name));
        ASSERT_NE(label, nullptr) << e.name;
        if (!e.text.isEmpty())
            EXPECT_EQ(label->text(), e.text) << e.name;
        else
            EXPECT_FALSE(label->text().trimmed().isEmpty()) << e.name << " carries the publisher's text";
        EXPECT_EQ(label->geometry(), e.place) << e.name;
        EXPECT_EQ(label->font().family(), QStringLiteral("Arial")) << e.name;
        // Whatever face stands in for Arial, the text must fit its label.
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width())
            << e.name << ": " << label->text().toStdString();
        EXPECT_LE(metrics.height(), label->height()) << e.name;
    }
    EXPECT_TRUE(v->findChild<QLabel *>(QStringLiteral("Label3"))->text().contains(QStringLiteral("©")));
    EXPECT_TRUE(v->findChild<QLabel *>(QStringLiteral("Label4"))->text().contains(QLatin1Char('@')));

    auto *icon = v->findChild<QLabel *>(QStringLiteral("Image1"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry(), twipsRect(480, 240, 480, 480));
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));

    auto *ok = v->findChild<QPushButton *>(QStringLiteral("cmdOk"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("ＯＫ"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), twipsRect(3480, 2880, 975, 375));
    EXPECT_LE(QFontMetrics(ok->font()).horizontalAdvance(ok->text()), ok->width());
}

TEST_F(AboutBoxTest, OkUnloadsTheBoxAndTheNextShowingBuildsItAnew)
{
    window.mVersion_Click();
    QPointer<frmVersion> first = box();
    ASSERT_FALSE(first.isNull());
    first->findChild<QLabel *>(QStringLiteral("Label1"))->setText(QStringLiteral("changed"));
    QTest::mouseClick(first->findChild<QPushButton *>(QStringLiteral("cmdOk")), Qt::LeftButton);
    flushDeletes();
    EXPECT_TRUE(first.isNull()) << "OK unloads the box";
    EXPECT_EQ(box(), nullptr);

    window.mVersion_Click();
    frmVersion *second = box();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Velmar for Linux"));
}

TEST_F(AboutBoxTest, EnterPressesTheDefaultButton)
{
    window.mVersion_Click();
    QPointer<frmVersion> v = box();
    ASSERT_FALSE(v.isNull());
    QTest::keyClick(v.data(), Qt::Key_Return);
    flushDeletes();
    EXPECT_TRUE(v.isNull());
}
