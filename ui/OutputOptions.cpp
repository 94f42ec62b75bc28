#include "OutputOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>

namespace qf {

namespace {

QCheckBox* box(const char* name, const char* caption, const char* hint, const QFont& font) {
    auto* c = new QCheckBox(QString::fromLatin1(caption));
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(QString::fromLatin1(hint));
    c->setFont(font);
    return c;
}

} // namespace

OutputOptions::OutputOptions(OutputChoices& choices, const QFont& font, QWidget* parent)
    : QWidget(parent), choices_(choices) {
    setObjectName(QStringLiteral("gbOutputs"));
    cmbSubFormat_ = new QComboBox;
    cmbSubFormat_->setObjectName(QStringLiteral("cmbSubFormat"));
    cmbSubFormat_->setFont(font);
    // In the order of OutputChoices::SubFormat, which the settings store as a number.
    cmbSubFormat_->addItems({QStringLiteral("Subs: auto"), QStringLiteral("Subs: .sup"),
                             QStringLiteral("Subs: VobSub"), QStringLiteral("Subs: PGS")});
    cmbSubFormat_->setToolTip(QStringLiteral(
        "Auto: VobSub (.idx + .sub) for DVD-Video; for HD DVD while the mkvmerge file is "
        "written, VobSub for 2-bit and PGS (.sup) for 8-bit subpictures; .sup records otherwise"));
    // In the order of OutputChoices::Pcm.
    cmbPcm_ = new QComboBox;
    cmbPcm_->setObjectName(QStringLiteral("cmbPcm"));
    cmbPcm_->setFont(font);
    cmbPcm_->addItems({QStringLiteral("PCM: auto"), QStringLiteral("PCM: FLAC"),
                       QStringLiteral("PCM: WAV"), QStringLiteral("PCM: raw")});
    cmbPcm_->setToolTip(QStringLiteral(
        "LPCM audio as FLAC or WAV, which the next tool reads, or as the disc's raw samples. "
        "Auto: FLAC while the mkvmerge file is written, else raw"));
    cbForcedOnly_ = box("cbForcedOnly", "Forced only",
                        "VobSub: write only the subpictures shown with subtitles off", font);
    cbDelayInName_ = box("cbDelayInName", "Delay in names",
                         "Put each audio stream's delay into its file name (DELAY -83ms)", font);
    cbChapters_ = box("cbChapters", "Chapters",
                      "Write the title's chapters (.chapters.xml and .chapters.txt)", font);
    cbMkvmerge_ = box("cbMkvmerge", "mkvmerge file",
                      "Write BASE.mkvmerge.json for \"mkvmerge @BASE.mkvmerge.json\"", font);
    cbCodecExt_ =
        box("cbCodecExt", "Codec ext.", "Name stream files by codec (.m2v, .ac3, .dts ...)", font);
    cbMakeMkv_ = box("cbMakeMkv", "Make MKV",
                     "After the demux, run mkvmerge on BASE.mkvmerge.json: BASE.mkv, and the "
                     "files it muxed are removed (needs the mkvmerge file, and mkvmerge from the "
                     "mkvtoolnix package)",
                     font);
    // Rows that take the room the font needs, as far as the page gives it.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 0, 4, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    grid->addWidget(cmbSubFormat_, 0, 0);
    grid->addWidget(cbForcedOnly_, 0, 1);
    grid->addWidget(cbDelayInName_, 0, 2);
    grid->addWidget(cbChapters_, 1, 0);
    grid->addWidget(cbMkvmerge_, 1, 1);
    grid->addWidget(cbCodecExt_, 1, 2);
    grid->addWidget(cmbPcm_, 2, 0);
    grid->addWidget(cbMakeMkv_, 2, 1);

    connect(cmbSubFormat_, &QComboBox::activated, this, [this](int i) {
        using F = OutputChoices::SubFormat;
        choices_.subFormat = i == 1 ? F::Sup : i == 2 ? F::VobSub : i == 3 ? F::Pgs : F::Auto;
    });
    connect(cmbPcm_, &QComboBox::activated, this,
            [this](int i) { choices_.pcm = static_cast<OutputChoices::Pcm>(i); });
    auto bind = [this](QCheckBox* c, bool& field) {
        connect(c, &QCheckBox::clicked, this, [&field](bool on) { field = on; });
    };
    bind(cbForcedOnly_, choices_.forcedOnly);
    bind(cbDelayInName_, choices_.delayInName);
    bind(cbChapters_, choices_.chapters);
    bind(cbMkvmerge_, choices_.mkvmergeOptions);
    bind(cbCodecExt_, choices_.codecExtensions);
    connect(cbMakeMkv_, &QCheckBox::clicked, this, [this](bool on) {
        choices_.mkv = on ? OutputChoices::Mkv::Make : OutputChoices::Mkv::Off;
        sync();
    });
    sync();
}

void OutputOptions::sync() {
    // Neither call gives the signals the choices are bound to.
    cmbSubFormat_->setCurrentIndex(static_cast<int>(choices_.subFormat));
    cmbPcm_->setCurrentIndex(static_cast<int>(choices_.pcm));
    cbForcedOnly_->setChecked(choices_.forcedOnly);
    cbDelayInName_->setChecked(choices_.delayInName);
    cbChapters_->setChecked(choices_.chapters);
    // The MKV is made from the mkvmerge file: while it is asked for, the file is written
    // whatever the box said, and the box's own choice comes back with it unticked.
    const bool mkv = choices_.mkv != OutputChoices::Mkv::Off;
    cbMkvmerge_->setChecked(choices_.mkvmergeOptions || mkv);
    cbMkvmerge_->setEnabled(!mkv);
    cbCodecExt_->setChecked(choices_.codecExtensions);
    cbMakeMkv_->setChecked(mkv);
}

} // namespace qf
