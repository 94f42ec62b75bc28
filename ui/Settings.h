#pragma once
// The per-user settings store: window placement, output folder, extensions, the last
// folders used and the options. Read once at start-up, written at close.
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QRect>
#include <QSettings>
#include <QStringList>

namespace qf {

class Session;

inline constexpr char kSettingsOrganization[] = "Marrowby Software";
inline constexpr char kSettingsApplication[] = "Quillfen";

// Where the window was: "Geometry", the window's own record of its frame, client area and
// state, when stored. Older versions kept the outer bounds and the state in five numbers
// (0 normal, 1 minimized, 2 maximized); those are read only while no record exists.
struct WindowPlacement {
    QByteArray geometry;
    std::optional<int> width, height, top, left, state;
};

// Copies every stored value into the context's window model, its folders and the
// placement. A value that is missing leaves its target as it is; a value of the wrong
// type (a text where a number belongs or the other way round) is skipped, its name added
// to `skipped`, and the others still load.
void readSettings(QSettings& store, Session& ctx, WindowPlacement& placement,
                  QStringList* skipped = nullptr);
// The placement alone, read the same way.
WindowPlacement readPlacement(QSettings& store, QStringList* skipped = nullptr);

// Writes the values: the window's geometry record (the five older placement values are
// removed), then the rest, and "Install" (the first close's local date and time) when it
// is not stored yet. Returns an error text, empty when the store took everything.
QString writeSettings(QSettings& store, const Session& ctx, const QByteArray& geometry,
                      const QDateTime& localNow = QDateTime::currentDateTime());

// The frame and the client area (normal, not maximized) held in a geometry record made by
// QWidget::saveGeometry. False when the record is not one.
bool readGeometryRecord(const QByteArray& record, QRect& frame, QRect& normal);

// A local date and time as 8 bytes: a little-endian IEEE double counting days since
// 30 December 1899, the time of day as the fraction.
QByteArray installStamp(const QDateTime& localNow);

} // namespace qf
