#pragma once
// The state one running pass owns and the model of the window it reports to.
// The engine, the analysers, the jobs and the playlist reader all work on one
// Context; front ends mirror its `ui` part and forward user actions.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysers/report.h"
#include "engine/facts.h"
#include "engine/host.h"
#include "engine/slotmap.h"
#include "engine/stream.h"
#include "engine/timefmt.h"

namespace qf {

inline constexpr size_t kBlockSize = 0x40000; // 262,144 bytes per read

struct CheckBox {
    std::string caption;
    std::string hint;
    bool enabled = false;
    bool checked = false;
};

struct TreeNode {
    std::string text;
    std::vector<TreeNode> children;
    bool expanded = false; // children shown

    bool operator==(const TreeNode&) const = default;
};

// Everything the window shows that is not drawing. Field names are the control names.
struct WindowModel {
    // Source and playlist
    std::string eEVOfile;
    std::string eXPLfile = "VPLST000.XPL";
    // Buttons (enabled state)
    bool bCheck = false, bReadXPL = false, bDemux = false, bRebuild = false, bCancel = false;
    int page = 0; // PageControl: 0 Status, 1 Video, 2 Audio, 3 Subpicture, 4 XPL, 5 Options

    // Stream check boxes (Video, Audio, Subpicture pages)
    std::array<CheckBox, 8> cbVideo;
    std::array<CheckBox, 16> cbAudio;
    std::array<CheckBox, 16> cbSub;

    // Options page
    std::string eVideoExt = "mpv", eAudioExt = "mpa", eSubExt = "sup";
    std::string eWorkdir;
    bool cbContinue = true, cbFastCheck = true, cbCountFr = true, cbDetails = true,
         cbAutoRead = true;
    bool rbNoAuto = true, rbAutoDemux = false, rbAutoRebuild = false;

    // Status page and status bar (panel texts without the leading blank)
    std::vector<std::string> log; // marked-up lines, see markup.h
    std::array<std::string, 2> status = {"Ready", "Select or drop an EVO file to demux"};
    std::string statusHint = " Select or drop an EVO file to demux";

    // XPL page
    std::vector<TreeNode> tvXPL = {
        {"Video", {}}, {"Audio", {}}, {"Subpicture", {}}, {"Chapter", {}}};
    std::vector<std::string> mXPL;
    bool mXPLVisible = true;
    int treeWidth = 96;

    // Initial folders / file names of the dialogs
    std::string odEVOfileDir, odXPLDir, odXPLFileName;

    WindowModel();
};

// The analysers read the block and the name tables through the Report side; a test can
// hand a Context straight to an analyser.
class Context : public Report, public NameTables {
public:
    explicit Context(Host& host);
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Host& host;
    WindowModel ui;
    TimeSettings timeSettings;

    // Stream catalogue: −1 empty, else the id that claimed the slot (1 = listed in a playlist;
    // an MPEG audio stream is entered as its PES id + kMpegAudioEntry).
    std::array<int32_t, 16> VideoSlots{};
    std::array<int32_t, 16> AudioSlots{};
    std::array<int32_t, 32> SubSlots{};
    // The slot of every stream met since the last Read job (or playlist reading) began.
    SlotMap Slots;

    bool CancelFlag = false;
    bool WriteMode = false;

    std::unique_ptr<Stream> SourceStream;
    std::vector<uint8_t> ReadBuffer; // kBlockSize bytes, allocated once
    size_t BlockLen = kBlockSize;    // bytes of ReadBuffer the last read filled
    std::array<std::unique_ptr<Stream>, 2> VideoOut;
    std::array<std::unique_ptr<Stream>, 16> AudioOut;
    std::array<std::unique_ptr<Stream>, 16> SubOut;

    std::array<int32_t, 2> FrameCount{};
    // What the last Read job learned of the stream in each slot (its frame rate gives the
    // durations of the frame counts).
    std::array<StreamFacts, 2> VideoFacts;
    std::array<StreamFacts, 16> AudioFacts;
    std::array<StreamFacts, 32> SubFacts;
    uint32_t EarliestPTS = 0;
    std::string BaseName;

    // Path texts kept by the window
    std::string EVOdir, EVOname, XPLdir, XPLname;

    // Playlist attribute tables, indexed 1..8, kept from one reading to the next
    std::array<std::string, 9> VideoAttrs, AudioAttrs, SubAttrs;

    // True while a job runs; keeps a second job from starting inside event handling.
    bool busy = false;

    // Output choices the window does not offer; the command line sets them.
    struct OutputChoices {
        bool codecExtensions = false; // name stream files by codec (.vc1, .ac3 ...)
        bool keepExisting = false;    // an output that exists already is an error
    } outputChoices;
    // The files the last Demux or Rebuild job created, in the order it created them.
    std::vector<std::string> CreatedFiles;

    // Appends a marked-up line to the log.
    void log(std::string_view msg) override;
    std::span<const uint8_t> block() const override {
        return {ReadBuffer.data(), BlockLen < ReadBuffer.size() ? BlockLen : ReadBuffer.size()};
    }
    const NameTables& tables() const override { return *this; }
    char decimalSeparator() const override { return timeSettings.decimalSeparator; }
    // Sets status panel 0 or 1.
    void slog(std::string_view text, int panel);
    void resetCatalogue();
    void resetFacts();
    // The name tables of the analysers, filled at every pass start.
    void fillReportTables();
    std::string formatTime(double days) const { return formatDuration(days, timeSettings); }
    void closeOutputs();
};

} // namespace qf
