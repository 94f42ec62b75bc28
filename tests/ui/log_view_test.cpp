// The log's formatting of marked-up lines, its scrolling and clearing, and the status bar.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolTip>
#include <QtTest>

#include "LogView.h"
#include "engine/markup.h"
#include "gui_support.h"

using namespace qf;
using namespace qf::test;

namespace {

QTextCharFormat formatAt(const LogView& view, int position) {
    return view.formatAt(position);
}

bool blueBold(const QTextCharFormat& f) {
    return f.fontWeight() == QFont::Bold && f.foreground().color() == QColor(0, 0, 255);
}

} // namespace

class LogViewTest : public QObject {
    Q_OBJECT
private slots:
    void runsGetTheirFormats() {
        LogView view;
        view.appendMarked("   [bl]16[/bl] bits, [bl]DTS ES[/bl]");
        QCOMPARE(view.plainText(), QString("   16 bits, DTS ES"));
        QVERIFY(blueBold(formatAt(view, 3)));
        QVERIFY(blueBold(formatAt(view, 4)));
        QCOMPARE(formatAt(view, 6).fontWeight(), int(QFont::Normal));
        QVERIFY(blueBold(formatAt(view, 12)));
        QVERIFY(blueBold(formatAt(view, 17)));

        // A line after a coloured one starts plain: no colour carries over.
        view.appendMarked("plain");
        const int start = static_cast<int>(QString("   16 bits, DTS ES\n").size());
        QCOMPARE(formatAt(view, start).fontWeight(), int(QFont::Normal));
        QVERIFY(formatAt(view, start).foreground().color() != QColor(0, 0, 255));
    }

    // A file name is never split at a dot or a hyphen: lines break at spaces and after
    // path separators; what is copied is the text itself.
    void linesBreakAtSpacesAndAfterSeparatorsOnly() {
        LogView view;
        view.resize(230, 300); // wider than each file name, narrower than each path
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QString line =
            "Creating /tmp/quillfen-out/discs/big.MPEG-2.stream.1.m2v and "
            "/tmp/a-b/F_2.DD+.stream.01.Director-Cut.ac3 (delay -83 ms) \u00e9\u0301 \U0001F600x";
        view.appendMarked(escapeMarkup(line.toStdString()));
        QCOMPARE(view.plainText(), line);
        const QTextBlock block = view.document()->firstBlock();
        QTextLayout* layout = block.layout();
        QVERIFY(layout->lineCount() > 3);
        for (int i = 0; i + 1 < layout->lineCount(); ++i) {
            const QTextLine l = layout->lineAt(i);
            QString piece = block.text().mid(l.textStart(), l.textLength());
            piece.remove(QChar(0x200B)).remove(QChar(0x2060));
            QVERIFY2(piece.endsWith(u' ') || piece.endsWith(u'/'), qPrintable(piece));
        }
        view.selectAll();
        view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), line);
    }

    void everyTagKind() {
        LogView view;
        view.appendMarked("[i]a[/i][u]b[/u][s1]c[/s1][s2]d[/s2][c:0000ff]e[/c:0000ff][c:FF0000]f[/"
                          "c:FF0000][B]g[/B]");
        QCOMPARE(view.plainText(), QString("abcdefg"));
        QVERIFY(formatAt(view, 0).fontItalic());
        QVERIFY(formatAt(view, 1).fontUnderline());
        QCOMPARE(formatAt(view, 2).fontPointSize(), 10.0);
        QCOMPARE(formatAt(view, 3).fontPointSize(), 12.0);
        QCOMPARE(formatAt(view, 4).foreground().color(), QColor(255, 0, 0)); // 0x00BBGGRR
        QCOMPARE(formatAt(view, 5).foreground().color(), QColor(0, 0, 255));
        const QTextCharFormat normal = formatAt(view, 6); // an unknown tag: normal text
        QCOMPARE(normal.fontWeight(), int(QFont::Normal));
        QCOMPARE(normal.fontPointSize(), 8.0);
        QCOMPARE(normal.foreground().color(), view.palette().color(QPalette::Text));
    }

    void namesWithBracketsAndWideCharacters() {
        LogView view;
        view.appendMarked("Opening file [b]" + escapeMarkup("Für [Elise].EVO") + "[/b] now");
        QCOMPARE(view.plainText(), QString("Opening file Für [Elise].EVO now"));
        const int after = static_cast<int>(QString("Opening file Für [Elise].EVO").size());
        QCOMPARE(formatAt(view, after - 1).fontWeight(), int(QFont::Bold));
        QCOMPARE(formatAt(view, after).fontWeight(), int(QFont::Normal));
    }

    void emptyLinesAndClear() {
        LogView view;
        view.appendMarked("Done.");
        view.appendMarked("");
        view.appendMarked("next");
        QCOMPARE(view.plainText(), QString("Done.\n\nnext"));
        QCOMPARE(view.lineCount(), size_t(3));
        view.syncFrom({});
        QCOMPARE(view.plainText(), QString());
        view.syncFrom({"a", "b"});
        QCOMPARE(view.plainText(), QString("a\nb"));
    }

    void keepsTheNewestLineInView() {
        LogView view;
        view.resize(200, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < 200; ++i) view.appendMarked("line " + std::to_string(i));
        QScrollBar* bar = view.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }

    // Long lines wrap between words (a word longer than the line anywhere): the log never
    // scrolls sideways.
    void longLinesWrap() {
        LogView view;
        view.resize(220, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const std::string advice =
            "Fast check: only the first 286 Mbytes were read; untick Fast EVO checking on the "
            "Options page to read the whole file and count its frames.";
        view.appendMarked(advice);
        view.appendMarked("[c:0000FF]Cannot create file \"/media/disc/" + std::string(80, 'x') +
                          "/FEATURE_1.MPEG-2.stream.0.mpv\". Read-only file system[/c:0000FF]");
        QCOMPARE(view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
        for (QTextBlock b = view.document()->firstBlock(); b.isValid(); b = b.next()) {
            QVERIFY(b.layout()->lineCount() > 1);
            for (int i = 0; i < b.layout()->lineCount(); ++i)
                QVERIFY(b.layout()->lineAt(i).naturalTextWidth() <= view.viewport()->width());
        }
        // Between words: the advice's first line ends where a word ends.
        const QTextBlock first = view.document()->firstBlock();
        const QTextLine line = first.layout()->lineAt(0);
        const QString text = first.text();
        QCOMPARE(text.at(line.textStart() + line.textLength() - 1), QChar(u' '));
    }

    void windowLogAndStatusBar() {
        SettingsSandbox sandbox;
        auto w = startedWindow();
        Session& ctx = w->context();
        ctx.log("[b]MPEG-2[/b] video stream 0 found!");
        auto* log = control<LogView>(*w, "reMessage");
        QCOMPARE(log->plainText(), QString("MPEG-2 video stream 0 found!"));
        control<QPushButton>(*w, "bClear")->click();
        QCOMPARE(log->plainText(), QString());
        QVERIFY(ctx.ui.log.empty());
        ctx.log("again");
        QCOMPARE(log->plainText(), QString("again"));

        auto* panel0 = control<QLabel>(*w, "StatusPanel0");
        auto* panel1 = control<QLabel>(*w, "StatusPanel1");
        auto* bar = control<QStatusBar>(*w, "StatusBar");
        ctx.slog("Reading A.EVO ", 0);
        ctx.slog("4/12 Mbytes, Remaining time: 0:00:03", 1);
        QCOMPARE(panel0->text(), QString(" Reading A.EVO "));
        QCOMPARE(panel1->text(), QString(" 4/12 Mbytes, Remaining time: 0:00:03"));
        QCOMPARE(bar->toolTip(), QString("4/12 Mbytes, Remaining time: 0:00:03"));
        const QFontMetrics metrics(panel0->font());
        QCOMPARE(panel0->width(), metrics.horizontalAdvance(" Reading A.EVO a"));
        // A hint on the screen follows the text.
        QToolTip::showText(bar->mapToGlobal(bar->rect().center()), bar->toolTip(), bar);
        QTRY_VERIFY(QToolTip::isVisible());
        ctx.slog("8/12 Mbytes, Remaining time: 0:00:01", 1);
        QCOMPARE(QToolTip::text(), QString("8/12 Mbytes, Remaining time: 0:00:01"));
        ctx.slog("", 1);
        QCOMPARE(panel1->text(), QString(" "));
        QCOMPARE(bar->toolTip(), QString());
        // Rebuild's progress repeats the state: the panel shows the rest, the hint all.
        ctx.slog("Rebuilding A.EVO", 0);
        ctx.slog("Rebuilding A.EVO 4/12 Mbytes, Remaining time: 0:00:03", 1);
        QCOMPARE(panel1->text(), QString(" 4/12 Mbytes, Remaining time: 0:00:03"));
        QCOMPARE(bar->toolTip(), QString("Rebuilding A.EVO 4/12 Mbytes, Remaining time: 0:00:03"));
    }

    // At the starting size every job's panel texts on a 100 GB title part show whole, in
    // both panels, whatever the font.
    void statusTextsFitAtTheStartingSize_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("detail");
        QTest::newRow("start") << ""
                               << "";
        int row = 0;
        for (const auto& [state, detail] : TfMain::longestStatusTexts(QString()))
            QTest::addRow("%d %s", row++, qPrintable(state)) << state << detail;
        QTest::newRow("playlist outcome") << "Ready"
                                          << "Title 'Feature' \u2014 2 parts, 12 chapters";
    }
    void statusTextsFitAtTheStartingSize() {
        QFETCH(QString, state);
        QFETCH(QString, detail);
        SettingsSandbox sandbox;
        auto w = startedWindow();
        if (!state.isEmpty()) {
            w->context().slog(state.toStdString(), 0);
            w->context().slog(detail.toStdString(), 1);
        }
        for (const char* name : {"StatusPanel0", "StatusPanel1"}) {
            auto* panel = control<QLabel>(*w, name);
            QTRY_VERIFY2(QFontMetrics(panel->font()).horizontalAdvance(panel->text()) <=
                             panel->contentsRect().width(),
                         qPrintable(panel->text()));
        }
    }
};

QF_GUI_SUITE(LogViewTest, "log_view_test");

#include "log_view_test.moc"
