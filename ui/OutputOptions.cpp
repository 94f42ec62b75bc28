#include "OutputOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace qf {

namespace {

QCheckBox* box(QWidget* parent, const char* name, const char* caption, const char* hint,
               const QFont& font, QRect r) {
    auto* c = new QCheckBox(QString::fromLatin1(caption), parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(QString::fromLatin1(hint));
    c->setFont(font);
    c->setGeometry(r);
    return c;
}

} // namespace

OutputOptions::OutputOptions(JobState::OutputChoices& choices, const QFont& font, QWidget* parent)
    : QWidget(parent), choices_(choices) {
    setObjectName(QStringLiteral("gbOutputs"));
    auto* lSubFormat = new QLabel(QStringLiteral("Subpictures"), this);
    lSubFormat->setObjectName(QStringLiteral("lSubFormat"));
    lSubFormat->setFont(font);
    lSubFormat->setGeometry(8, 2, 60, 15);
    cmbSubFormat_ = new QComboBox(this);
    cmbSubFormat_->setObjectName(QStringLiteral("cmbSubFormat"));
    cmbSubFormat_->setFont(font);
    cmbSubFormat_->addItems(
        {QStringLiteral("Auto"), QStringLiteral("sup"), QStringLiteral("VobSub")});
    cmbSubFormat_->setToolTip(
        QStringLiteral("Auto: VobSub (.idx + .sub) for DVD-Video, .sup records otherwise"));
    cmbSubFormat_->setGeometry(70, 0, 70, 18);
    cbForcedOnly_ =
        box(this, "cbForcedOnly", "Forced only",
            "VobSub: write only the subpictures shown with subtitles off", font, {150, 1, 90, 17});
    cbDelayInName_ = box(this, "cbDelayInName", "Delay in names",
                         "Put each audio stream's delay into its file name (DELAY -83ms)", font,
                         {240, 1, 100, 17});
    cbChapters_ =
        box(this, "cbChapters", "Chapter files",
            "Write the title's chapters (.chapters.xml and .chapters.txt)", font, {8, 17, 100, 16});
    cbMkvmerge_ = box(this, "cbMkvmerge", "mkvmerge options",
                      "Write BASE.mkvmerge.json for \"mkvmerge @BASE.mkvmerge.json\"", font,
                      {110, 17, 120, 16});
    cbCodecExt_ =
        box(this, "cbCodecExt", "Codec extensions",
            "Name stream files by codec (.m2v, .ac3, .dts ...)", font, {232, 17, 106, 16});

    connect(cmbSubFormat_, &QComboBox::activated, this, [this](int i) {
        using F = JobState::OutputChoices::SubFormat;
        choices_.subFormat = i == 1 ? F::Sup : i == 2 ? F::VobSub : F::Auto;
    });
    auto bind = [this](QCheckBox* c, bool& field) {
        connect(c, &QCheckBox::clicked, this, [&field](bool on) { field = on; });
    };
    bind(cbForcedOnly_, choices_.forcedOnly);
    bind(cbDelayInName_, choices_.delayInName);
    bind(cbChapters_, choices_.chapters);
    bind(cbMkvmerge_, choices_.mkvmergeOptions);
    bind(cbCodecExt_, choices_.codecExtensions);
    sync();
}

void OutputOptions::sync() {
    // Neither call gives the signals the choices are bound to.
    cmbSubFormat_->setCurrentIndex(static_cast<int>(choices_.subFormat));
    cbForcedOnly_->setChecked(choices_.forcedOnly);
    cbDelayInName_->setChecked(choices_.delayInName);
    cbChapters_->setChecked(choices_.chapters);
    cbMkvmerge_->setChecked(choices_.mkvmergeOptions);
    cbCodecExt_->setChecked(choices_.codecExtensions);
}

} // namespace qf
