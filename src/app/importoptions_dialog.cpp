// SPDX-License-Identifier: GPL-3.0-or-later
#include "importoptions_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmar
{
namespace
{

const QString kOptionsKey = QStringLiteral("import/options");

} // namespace

ImportOptionsDialog::ImportOptionsDialog(const ImportOptions &options, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ImportOptionsDialog"));
    setWindowTitle(QStringLiteral("画像を追加"));

    dither_ = new QCheckBox(QStringLiteral("ﾃﾞｨｻﾞﾘﾝｸﾞ"), this);
    dither_->setObjectName(QStringLiteral("chkDither"));
    dither_->setChecked(options.dither);

    quality_ = new QSpinBox(this);
    quality_->setObjectName(QStringLiteral("spnQuality"));
    quality_->setRange(0, 100);
    quality_->setValue(options.quality);
    quality_->setToolTip(QStringLiteral("低いほど色数を減らします"));

    shared_ = new QCheckBox(QStringLiteral("全ての画像で同じﾊﾟﾚｯﾄを使う"), this);
    shared_->setObjectName(QStringLiteral("chkShared"));
    shared_->setChecked(options.sharedPalette);

    delay_ = new QSpinBox(this);
    delay_->setObjectName(QStringLiteral("spnDelay"));
    delay_->setRange(0, 65535);
    delay_->setValue(options.delay);
    delay_->setSuffix(QStringLiteral(" (1/100秒)"));

    auto *form = new QFormLayout;
    form->addRow(dither_);
    form->addRow(QStringLiteral("画質"), quality_);
    form->addRow(shared_);
    form->addRow(QStringLiteral("待ち時間"), delay_);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ImportOptions ImportOptionsDialog::options() const
{
    ImportOptions o;
    o.dither = dither_->isChecked();
    o.sharedPalette = shared_->isChecked();
    o.quality = quality_->value();
    o.delay = delay_->value();
    return o;
}

// Kept as the CLI's option text; an entry that does not read back (edited
// by hand, or from another version) gives the defaults.
ImportOptions ImportOptionsDialog::lastOptions()
{
    const QString text = QSettings().value(kOptionsKey).toString();
    const Result<ImportOptions> parsed = parseImportOptions(text);
    return parsed ? *parsed : ImportOptions{};
}

void ImportOptionsDialog::rememberOptions(const ImportOptions &options)
{
    QSettings().setValue(kOptionsKey, importOptionsText(options));
}

std::optional<ImportOptions> ImportOptionsDialog::ask(QWidget *parent)
{
    ImportOptionsDialog dialog(lastOptions(), parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    rememberOptions(dialog.options());
    return dialog.options();
}

} // namespace velmar
