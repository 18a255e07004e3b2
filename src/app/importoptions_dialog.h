// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "imageimport.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QSpinBox;

namespace velmar
{

// The choices an import of pictures is made with, asked once per import.
// The dialog opens with the last accepted choice, which also serves the
// imports that ask nothing (pasting).
class ImportOptionsDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit ImportOptionsDialog(const ImportOptions &options, QWidget *parent = nullptr);

    ImportOptions options() const;

    // The last accepted choice (QSettings), or the defaults.
    static ImportOptions lastOptions();
    static void rememberOptions(const ImportOptions &options);
    // Shows the dialog; the choice when accepted (then remembered).
    static std::optional<ImportOptions> ask(QWidget *parent);

  private:
    QCheckBox *dither_ = nullptr;
    QCheckBox *shared_ = nullptr;
    QSpinBox *quality_ = nullptr;
    QSpinBox *delay_ = nullptr;
};

} // namespace velmar
