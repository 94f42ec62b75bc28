// The browse dialogs and the message boxes.
#include <QFileDialog>
#include <QMessageBox>

#include "Main.h"

namespace qf {

QString FileDialogs::chooseSource(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QStringLiteral("Choose the EVO file to demux"), folder);
    // Disc files come in either letter case; offer both on case-sensitive systems.
    dialog.setNameFilters(
        {QStringLiteral("All supported file (*.aob *.evo *.vob *.iso *.ifo *.AOB *.EVO *.VOB "
                        "*.ISO *.IFO)"),
         QStringLiteral("EVOB files (HD DVD) (*.evo *.EVO)"),
         QStringLiteral("AOB files (DVD Audio) (*.aob *.AOB)"),
         QStringLiteral("VOB files (DVD Video) (*.vob *.VOB)"),
         QStringLiteral("DVD-Video discs (*.iso *.ifo *.ISO *.IFO)")});
    dialog.setDefaultSuffix(QStringLiteral("EVO"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

QString FileDialogs::choosePlaylist(QWidget* parent, const QString& folder, const QString& name) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setNameFilter(QStringLiteral("XPL (VPLST000.XPL)"));
    dialog.setDefaultSuffix(QStringLiteral("xpl"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!name.isEmpty()) dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

QString FileDialogs::chooseFolder(QWidget* parent, const QString& start) {
    // ReadOnly takes away the dialog's button for making a new folder.
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select a directory"), start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
}

QString FileDialogs::chooseDiscFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Open a disc folder (holding VIDEO_TS or HVDVD_TS)"), start,
        QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly | QFileDialog::DontResolveSymlinks);
}

bool TfMain::askYesNo(const QString& question) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kAppTitle), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TfMain::showError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok,
                    this);
    box.exec();
}

} // namespace qf
