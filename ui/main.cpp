// Quillfen's window: `quillfen [FILE]` opens it, with FILE (a source or a playlist)
// already entered when given.
#include <QApplication>
#include <QStringList>

#include "Main.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QString::fromLatin1(qf::kAppTitle));
    QApplication::setDesktopFileName(QStringLiteral("quillfen"));
    qf::TfMain fMain;
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) fMain.chooseAtStart(args.at(1));
    fMain.show();
    return QApplication::exec();
}
