#pragma once
// The Options page's choices of what Demux writes besides the stream files: subpicture
// format, chapter files, delays in names, the mkvmerge options file, codec extensions and
// the MKV mkvmerge makes of them.
#include <QWidget>

#include "jobs/runner.h"

class QCheckBox;
class QComboBox;

namespace qf {

class OutputOptions final : public QWidget {
    Q_OBJECT
public:
    OutputOptions(OutputChoices& choices, const QFont& font, QWidget* parent = nullptr);
    // Shows the choices as they are (after the settings were read, for instance).
    void sync();

private:
    OutputChoices& choices_;
    QComboBox* cmbSubFormat_ = nullptr;
    QComboBox* cmbPcm_ = nullptr;
    QCheckBox* cbForcedOnly_ = nullptr;
    QCheckBox* cbChapters_ = nullptr;
    QCheckBox* cbDelayInName_ = nullptr;
    QCheckBox* cbMkvmerge_ = nullptr;
    QCheckBox* cbCodecExt_ = nullptr;
    QCheckBox* cbMakeMkv_ = nullptr;
};

} // namespace qf
