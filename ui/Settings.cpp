#include "Settings.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include <QDataStream>

#include "model/session.h"
#include "model/window.h"

namespace qf {

namespace {

// A stored number: native stores give integers, the INI store gives texts of digits.
std::optional<int32_t> readDword(const QVariant& v) {
    qlonglong n = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        n = v.toLongLong();
        break;
    case QMetaType::QString: {
        bool ok = false;
        n = v.toString().trimmed().toLongLong(&ok);
        if (!ok) return std::nullopt;
        break;
    }
    default:
        return std::nullopt;
    }
    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(n)); // DWORDs wrap like the registry's
}

std::optional<std::string> readText(const QVariant& v) {
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString().toStdString();
}

class Reader {
public:
    Reader(QSettings& s, QStringList* skipped) : s_(s), skipped_(skipped) {}

    template <class Apply> void dword(const char* name, Apply apply) {
        if (!s_.contains(name)) return;
        if (auto n = readDword(s_.value(name)))
            apply(*n);
        else if (skipped_)
            skipped_->append(QString::fromLatin1(name));
    }
    template <class Apply> void text(const char* name, Apply apply) {
        if (!s_.contains(name)) return;
        if (auto t = readText(s_.value(name)))
            apply(*t);
        else if (skipped_)
            skipped_->append(QString::fromLatin1(name));
    }
    template <class Apply> void bytes(const char* name, Apply apply) {
        if (!s_.contains(name)) return;
        const QVariant v = s_.value(name);
        if (v.typeId() == QMetaType::QByteArray)
            apply(v.toByteArray());
        else if (skipped_)
            skipped_->append(QString::fromLatin1(name));
    }
    void flag(const char* name, bool& target) {
        dword(name, [&](int32_t n) { target = n != 0; });
    }

private:
    QSettings& s_;
    QStringList* skipped_;
};

// A selected auto button stored as 0 gives way to "No auto process" rather than leaving
// the group with nothing selected.
void applyAutoFlag(Session& ctx, int mode, bool on) {
    bool& button = mode == 1 ? ctx.ui.rbAutoDemux : ctx.ui.rbAutoRebuild;
    if (on)
        setAutoMode(ctx.ui, mode);
    else if (button)
        setAutoMode(ctx.ui, 0);
}

} // namespace

WindowPlacement readPlacement(QSettings& store, QStringList* skipped) {
    WindowPlacement placement;
    Reader r(store, skipped);
    r.bytes("Geometry", [&](const QByteArray& b) { placement.geometry = b; });
    r.dword("Width", [&](int32_t n) { placement.width = n; });
    r.dword("Height", [&](int32_t n) { placement.height = n; });
    r.dword("Top", [&](int32_t n) { placement.top = n; });
    r.dword("Left", [&](int32_t n) { placement.left = n; });
    r.dword("WindowState", [&](int32_t n) { placement.state = n; });
    return placement;
}

void readSettings(QSettings& store, Session& ctx, WindowPlacement& placement,
                  QStringList* skipped) {
    auto& ui = ctx.ui;
    placement = readPlacement(store, skipped);
    Reader r(store, skipped);
    r.dword("TreeWidth", [&](int32_t n) { ui.treeWidth = n; });
    r.text("AudioExt", [&](const std::string& t) { ui.eAudioExt = t; });
    r.text("VideoExt", [&](const std::string& t) { ui.eVideoExt = t; });
    r.text("SubExt", [&](const std::string& t) { ui.eSubExt = t; });
    r.text("Workdir", [&](const std::string& t) { ui.eWorkdir = t; });
    r.text("EVOdir", [&](const std::string& t) { ctx.ui.EVOdir = ui.odEVOfileDir = t; });
    r.text("XPLdir", [&](const std::string& t) { ctx.ui.XPLdir = ui.odXPLDir = t; });
    r.flag("Continue", ui.cbContinue);
    r.flag("FastCheck", ui.cbFastCheck);
    r.flag("CountFrames", ui.cbCountFr);
    r.flag("Details", ui.cbDetails);
    r.flag("AutoRead", ui.cbAutoRead);
    r.dword("AutoDemux", [&](int32_t n) { applyAutoFlag(ctx, 1, n != 0); });
    r.dword("AutoRebuild", [&](int32_t n) { applyAutoFlag(ctx, 2, n != 0); });
    auto& choices = ctx.ui.outputChoices;
    r.dword("SubFormat", [&](int32_t n) {
        using F = OutputChoices::SubFormat;
        choices.subFormat = n == 1 ? F::Sup : n == 2 ? F::VobSub : n == 3 ? F::Pgs : F::Auto;
    });
    r.dword("Pcm", [&](int32_t n) {
        using P = OutputChoices::Pcm;
        choices.pcm = n == 1 ? P::Flac : n == 2 ? P::Wav : n == 3 ? P::Raw : P::Auto;
    });
    r.flag("ForcedOnly", choices.forcedOnly);
    r.flag("Chapters", choices.chapters);
    r.flag("DelayInName", choices.delayInName);
    r.flag("MkvmergeOptions", choices.mkvmergeOptions);
    r.flag("CodecExt", choices.codecExtensions);
    r.dword("MakeMkv", [&](int32_t n) {
        choices.mkv = n != 0 ? OutputChoices::Mkv::Make : OutputChoices::Mkv::Off;
    });
}

bool readGeometryRecord(const QByteArray& record, QRect& frame, QRect& normal) {
    // The layout QWidget::saveGeometry has written since Qt 4: a magic number, a version,
    // then the frame and the normal client area.
    QDataStream in(record);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    in >> magic >> major >> minor >> frame >> normal;
    return in.status() == QDataStream::Ok && magic == 0x1D9D0CB && major >= 1 && major <= 3;
}

QByteArray installStamp(const QDateTime& localNow) {
    const QDateTime local = localNow.toLocalTime();
    const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(local.date())) +
                        local.time().msecsSinceStartOfDay() / 86400000.0;
    uint64_t bits = std::bit_cast<uint64_t>(days);
    QByteArray out(8, '\0');
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return out;
}

namespace {

// Writes values one at a time and stops at the first one the store does not take; the
// store only reports a failure when it is flushed, hence the flush after each value.
class Writer {
public:
    explicit Writer(QSettings& s) : s_(s) {}
    void put(const char* name, const QVariant& value) {
        if (!error_.isEmpty()) return;
        if (s_.isWritable()) {
            s_.setValue(name, value);
            s_.sync();
            if (s_.status() == QSettings::NoError) return;
        }
        error_ = QStringLiteral("Failed to set data for '%1'").arg(QString::fromLatin1(name));
    }
    const QString& error() const { return error_; }

private:
    QSettings& s_;
    QString error_;
};

} // namespace

QString writeSettings(QSettings& store, const Session& ctx, const QByteArray& geometry,
                      const QDateTime& localNow) {
    const auto& ui = ctx.ui;
    auto text = [](const std::string& s) { return QString::fromStdString(s); };
    Writer w(store);
    w.put("Geometry", geometry);
    // The record replaces the older placement values for good.
    if (w.error().isEmpty())
        for (const char* old : {"WindowState", "Top", "Left", "Width", "Height"}) store.remove(old);
    w.put("TreeWidth", ui.treeWidth);
    w.put("AudioExt", text(ui.eAudioExt));
    w.put("VideoExt", text(ui.eVideoExt));
    w.put("SubExt", text(ui.eSubExt));
    w.put("Workdir", text(ui.eWorkdir));
    w.put("EVOdir", text(ctx.ui.EVOdir));
    w.put("XPLdir", text(ctx.ui.XPLdir));
    w.put("Continue", ui.cbContinue ? 1 : 0);
    w.put("FastCheck", ui.cbFastCheck ? 1 : 0);
    w.put("CountFrames", ui.cbCountFr ? 1 : 0);
    w.put("Details", ui.cbDetails ? 1 : 0);
    w.put("AutoRead", ui.cbAutoRead ? 1 : 0);
    w.put("AutoDemux", ui.rbAutoDemux ? 1 : 0);
    w.put("AutoRebuild", ui.rbAutoRebuild ? 1 : 0);
    const auto& choices = ctx.ui.outputChoices;
    w.put("SubFormat", static_cast<int>(choices.subFormat));
    w.put("Pcm", static_cast<int>(choices.pcm));
    w.put("ForcedOnly", choices.forcedOnly ? 1 : 0);
    w.put("Chapters", choices.chapters ? 1 : 0);
    w.put("DelayInName", choices.delayInName ? 1 : 0);
    w.put("MkvmergeOptions", choices.mkvmergeOptions ? 1 : 0);
    w.put("CodecExt", choices.codecExtensions ? 1 : 0);
    w.put("MakeMkv", choices.mkv != OutputChoices::Mkv::Off ? 1 : 0);
    if (!store.contains("Install")) w.put("Install", installStamp(localNow));
    return w.error();
}

} // namespace qf
