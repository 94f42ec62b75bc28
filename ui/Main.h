#pragma once
// TfMain: the main window. It is a view of the toolkit-free window model (Session::ui):
// user actions go to the model's handlers, and after each of them the model is copied
// back into the widgets (syncFromModel). Main.cpp builds it and wires the controls;
// MainLayout.cpp places the controls, MainHandlers.cpp holds the handlers, MainSync.cpp
// the copy from the model, MainEvents.cpp the window's events and settings, and
// MainDialogs.cpp the dialogs and message boxes.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "GuiHost.h"
#include "model/session.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace qf {

class LogView;
class StatusLine;
class StreamPage;
class XplTree;

inline constexpr char kAppTitle[] = "HD DVD Quillfen";
inline constexpr char kWindowCaption[] = "Quillfen 0.621b";

// The browse dialogs. Each returns the chosen path, or an empty text when the user
// cancelled. Tests put their own answers in place.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual QString chooseSource(QWidget* parent, const QString& folder);
    virtual QString choosePlaylist(QWidget* parent, const QString& folder, const QString& name);
    virtual QString chooseFolder(QWidget* parent, const QString& start);
    // A disc folder: one holding VIDEO_TS or HVDVD_TS, or a VIDEO_TS folder.
    virtual QString chooseDiscFolder(QWidget* parent, const QString& start);
};

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfMain(QWidget* parent = nullptr);
    ~TfMain() override;

    Session& context() { return ctx_; }
    void setDialogs(std::unique_ptr<FileDialogs> dialogs);

    // The start-up steps: settings, stream boxes, time format. They run on the first
    // activation only; later activations (after a message box) leave a running job alone.
    void FormActivate();
    bool startedUp() const { return startedUp_; }
    // A file named on the command line: entered as the source (or the playlist) once
    // the start-up steps have run, as if it had been dropped.
    void chooseAtStart(const QString& path);
    // Files dropped on the window: the first one counts.
    void WMDropFiles(const QStringList& paths);
    // Places the logo about the middle of the window.
    void FormResize();
    static int logoLeft(int outerWidth) { return outerWidth <= 432 ? 153 : outerWidth / 2 - 63; }
    void RegRead();
    void RegWrite();

    // Copies the model into the widgets: enabled and ticked states, captions, hints,
    // the page, the playlist tree and text, the log and the status bar.
    void syncFromModel();
    void showNewLogLines();
    void showStatus(int panel, const QString& text);
    bool askYesNo(const QString& question);
    void showError(const QString& text);

    // The longest texts of each job's status panels (state, detail) for a large title:
    // the window is made wide enough for all of them at its first show.
    static std::vector<std::pair<QString, QString>> longestStatusTexts(const QString& startHint);
    // Cancel, the Escape key and closing the window during a job: a writing pass asks
    // first ("Are you sure to stop demuxing?", or "rebuilding"; closing: "Stop demuxing
    // and close the window?"). True when the stop was requested.
    bool requestStop(bool closing = false);
    QString stopQuestion(bool closing = false) const;
    // Whether a job runs: on the worker thread, or a playlist reading on this one.
    bool jobRunning() const { return running_ || ctx_.busy; }
    // Handles the window's events until no job runs (its auto follow-up included).
    void waitForJob();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildWindow();
    QWidget* buildStatusPage();
    QWidget* buildXplPage();
    QWidget* buildOptionPage();
    void connectHandlers();

    // Runs a handler: errors end it and are shown in a message box; the window goes on.
    void guarded(const std::function<void()>& handler);
    // Runs a handler that starts work; refused while a job runs.
    void job(const std::function<void()>& handler);
    // A job started by the user: the log emptied by "Clear" can no longer come back.
    void startJob(const std::function<void()>& handler);
    // Runs a Read, Demux or Rebuild job on the worker thread; its events come back queued
    // to this thread, which stays free to repaint and to answer Cancel.
    void startWorkerJob(JobKind kind);
    void workerJobEnded(JobKind kind, const JobOutcome& outcome, std::exception_ptr failure);
    // After a job (and its follow-up): the focus back where the job was started.
    void restoreFocus();

    void bbEVOClick();
    // "Open disc folder…": a folder dialog; the folder becomes the source as a browsed file.
    void bbDiscClick();
    // A browsed, chosen or pasted source: entered, its titles listed, read when "Auto
    // Read EVO" is ticked.
    void sourceChosen(const QString& path);
    // Ctrl+V outside an edit: the clipboard's path (or file URL) as the source.
    void pasteSource();
    // The title chooser's item i: that title is read.
    void titleChosen(int index);
    void angleChosen(int index);
    void bbXPLClick();
    void bbWorkdirClick();
    void streamBoxClick(Family family, int index, bool checked);

    // Widens the window so that the start hint and a Read's or a Demux's progress on a
    // large title show whole in the status bar, in the font at hand.
    void fitStatusTexts();
    // At the first show: the stored geometry, or the start-up size in the middle of the
    // primary screen when nothing usable is stored.
    void restorePlacement();
    // A stored place a user can reach: at least the smallest size, the title bar on a screen.
    bool placementUsable(const QRect& frame, const QSize& client) const;
    // Room for a window manager's title bar (and its border) whose height is not known yet.
    int titleBarAllowance() const;
    // "Read XPL", checking first that the playlist is still there, and its outcome shown
    // in the status bar.
    void readPlaylistClick();
    // Ctrl+Z: the log "Clear" emptied comes back, until the next job starts.
    void undoClearClick();
    void syncTree();
    void syncTitles();
    // Widens the window for stream captions that do not show whole.
    void fitCaptions();
    // After the source changed: a disc's titles into the chooser.
    void titlesChanged();
    void syncXplText();
    void syncTreeWidth();

    GuiHost host_;
    Session ctx_;
    // Each event of a job on the worker becomes a call of the window model's own handler
    // on the window's thread (MainJobs.cpp).
    class QueuedEvents : public JobEvents {
    public:
        explicit QueuedEvents(TfMain& w) : w_(w) {}
        void logAppended(const std::string& line) override;
        void statusChanged(int panel, const std::string& text) override;
        void passRunning(bool running) override;
        void streamsListed(const StreamList& streams) override;
        void streamAdded(Family family, size_t slot, const std::string& caption) override;
        void baseNameChosen(const std::string& baseName) override;

    private:
        template <typename F> void post(F f);
        TfMain& w_;
    } queued_{*this};
    std::thread worker_;
    bool running_ = false;
    JobKind runningKind_ = JobKind::Read;
    std::unique_ptr<FileDialogs> dialogs_;
    bool startedUp_ = false;
    bool closePending_ = false;
    bool placed_ = false;
    bool askingToStop_ = false;
    // The control that had the focus when the running job started: it gets it back.
    QPointer<QWidget> focusBeforeJob_;
    QString pendingChoice_;

    // What the view shows, to touch only widgets whose model part changed.
    std::vector<std::string> shownXpl_;
    int shownTreeWidth_ = -1;
    int captionWidth_ = 0; // the window width the longest caption so far asked for

    QLineEdit* eEVOfile_ = nullptr;
    QToolButton* bbEVO_ = nullptr;
    QToolButton* bbDisc_ = nullptr;
    QPushButton* bCheck_ = nullptr;
    QLineEdit* eXPLfile_ = nullptr;
    QToolButton* bbXPL_ = nullptr;
    QPushButton* bReadXPL_ = nullptr;
    QTabWidget* PageControl_ = nullptr;
    QPushButton* bDemux_ = nullptr;
    QPushButton* bRebuild_ = nullptr;
    QLabel* imLogo_ = nullptr;
    QPushButton* bCancel_ = nullptr;
    StatusLine* StatusBar_ = nullptr;
    QPushButton* bClear_ = nullptr;
    QLabel* lTitle_ = nullptr;
    QComboBox* cmbTitle_ = nullptr;  // the titles of a DVD-Video disc source
    QComboBox* cmbAngle_ = nullptr;  // the angles of the chosen title, when it has several
    QLabel* lTitleChoice_ = nullptr; // beside the page tabs: the title the pages list
    LogView* reMessage_ = nullptr;
    std::array<StreamPage*, 3> streamPages_{}; // Video, Audio, Subpicture
    XplTree* tvXPL_ = nullptr;
    QSplitter* splXPL_ = nullptr;
    QPlainTextEdit* mXPL_ = nullptr;
    QLineEdit* eVideoExt_ = nullptr;
    QLineEdit* eAudioExt_ = nullptr;
    QLineEdit* eSubExt_ = nullptr;
    QLineEdit* eWorkdir_ = nullptr;
    QToolButton* bbWorkdir_ = nullptr;
    QCheckBox* cbContinue_ = nullptr;
    QCheckBox* cbFastCheck_ = nullptr;
    QCheckBox* cbCountFr_ = nullptr;
    QCheckBox* cbDetails_ = nullptr;
    QCheckBox* cbAutoRead_ = nullptr;
    QRadioButton* rbNoAuto_ = nullptr;
    QRadioButton* rbAutoDemux_ = nullptr;
    QRadioButton* rbAutoRebuild_ = nullptr;
    class OutputOptions* outputOptions_ = nullptr;
};

} // namespace qf
