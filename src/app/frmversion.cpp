#include "frmversion.h"

#include "platform/twips.h"

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace velmar
{
namespace
{

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The texts are set in Arial; where it is missing, fontconfig substitutes a
// face with the same metrics (Liberation Sans), so the layout still holds.
QFont arial()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    return font;
}

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, const QRect &place)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(arial());
    label->setGeometry(place);
    return label;
}

} // namespace

frmVersion::frmVersion(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVersion"));
    setWindowTitle(QStringLiteral("Velmarのﾊﾞｰｼﾞｮﾝ情報"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(4680), twipsToPixels(3435));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twipsRect(480, 240, 480, 480));
    Image1->setPixmap(QPixmap(QStringLiteral(":/icons/velmar.png"))
                          .scaled(Image1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    Label1 = addLabel(this, "Label1", QStringLiteral("Velmar for Linux"), twipsRect(1320, 360, 1665, 240));
    // Wide enough for a three-part version, centred where the old one was.
    Label2 = addLabel(this, "Label2", QStringLiteral("Version " VELMAR_VERSION), twipsRect(1575, 720, 1200, 240));
    Label3 = addLabel(this, "Label3", QStringLiteral("© 2026 Velmar Project"), twipsRect(960, 1080, 2595, 240));
    Label4 = addLabel(this, "Label4", QStringLiteral("velmar@example.org"), twipsRect(1200, 1560, 1815, 240));
    Label6 = addLabel(this, "Label6", QStringLiteral("velmar.example.org"), twipsRect(1200, 1920, 1875, 240));

    cmdOk = new QPushButton(QStringLiteral("ＯＫ"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(twipsRect(3480, 2880, 975, 375));
    cmdOk->setDefault(true);
    cmdOk->setAutoDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, &frmVersion::cmdOk_Click);
}

void frmVersion::cmdOk_Click()
{
    close();
}

} // namespace velmar
