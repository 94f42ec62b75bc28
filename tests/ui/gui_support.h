#pragma once
// Helpers for the window tests: a registry of test classes (one program runs them all,
// or one suite with --suite NAME), a private settings store, scripted dialogs, message
// boxes answered from a timer, and generated program streams.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include "Main.h"
#include "support/ps_builder.h"

namespace qf::test {

struct GuiSuite {
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};
std::vector<GuiSuite>& guiSuites();
struct GuiSuiteRegistrar {
    GuiSuiteRegistrar(const char* name, std::function<std::unique_ptr<QObject>()> make) {
        guiSuites().push_back({name, std::move(make)});
    }
};
#define QF_GUI_SUITE(Class, name)                                                                  \
    static const ::qf::test::GuiSuiteRegistrar registrar_##Class(                                  \
        name, [] { return std::unique_ptr<QObject>(new Class); })

// Points the per-user settings at a fresh folder for the life of the object.
class SettingsSandbox {
public:
    SettingsSandbox();
    ~SettingsSandbox();
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// Dialog answers given in advance; an empty answer is a cancelled dialog.
class ScriptedDialogs : public FileDialogs {
public:
    QStringList answers;
    QStringList folders; // the initial folder each dialog was opened with
    QString chooseSource(QWidget*, const QString& folder) override { return next(folder); }
    QString choosePlaylist(QWidget*, const QString& folder, const QString&) override {
        return next(folder);
    }
    QString chooseFolder(QWidget*, const QString& start) override { return next(start); }
    QString chooseDiscFolder(QWidget*, const QString& start) override { return next(start); }

private:
    QString next(const QString& folder) {
        folders << folder;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// Presses `button` on the next message box that opens (within a few seconds) and keeps
// its text. The returned object records what happened; once it is dropped, no box is
// answered any more.
struct BoxAnswer {
    QString text;
    int seen = 0;
};
std::shared_ptr<BoxAnswer> answerNextMessageBox(QMessageBox::StandardButton button);

// A window with scripted dialogs whose start-up steps have run.
std::unique_ptr<TfMain> startedWindow(ScriptedDialogs** dialogs = nullptr);

template <class W> W* control(QWidget& w, const char* name) {
    return w.findChild<W*>(QString::fromLatin1(name));
}

// Path of a file under tests/data.
std::string dataFile(const std::string& name);

// A program stream with MPEG-2 video (0xE0), AC-3 audio (0x80 and 0x81) and one
// subpicture stream (0x20). The video payload is repeated until the stream is at least
// minBytes long. Returns the video data carried, as written by a demux.
Bytes writeSampleEvo(const std::string& path, size_t minBytes = 0);

// A playlist with two titles; the second one plays FEATURE_1 and lists MPEG-2 video,
// DD+ audio (stream 1, "English"), a subtitle (stream 2, "French") and one chapter.
const char* testPlaylist();

} // namespace qf::test
