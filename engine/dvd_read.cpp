#include "engine/dvd_read.h"

#include <cctype>

#include "engine/disc_files.h"
#include "engine/ifo_check.h"

namespace qf::ifo {

namespace {

constexpr AudioFormat kAudioFormats[] = {{0, Codec::Ac3, "AC-3"},
                                         {2, Codec::MpegAudio, "MPEG-1 audio"},
                                         {3, Codec::MpegAudio, "MPEG-2 audio"},
                                         {4, Codec::Lpcm, "LPCM"},
                                         {6, Codec::Dts, "DTS"}};

} // namespace

int bcd(uint8_t v) {
    return (v >> 4) * 10 + (v & 0x0F);
}

double seconds(const dvd_time_t& t) {
    const int rate = t.frame_u >> 6;
    const double fps = rate == 1 ? 25.0 : rate == 3 ? 30000.0 / 1001.0 : 0.0;
    const double frames = fps > 0 ? bcd(t.frame_u & 0x3F) / fps : 0.0;
    return bcd(t.hour) * 3600.0 + bcd(t.minute) * 60.0 + bcd(t.second) + frames;
}

std::optional<StreamLanguage> language(bool set, uint16_t code) {
    const char a = static_cast<char>(code >> 8), b = static_cast<char>(code & 0xFF);
    if (!set || !std::isalpha(static_cast<unsigned char>(a)) ||
        !std::isalpha(static_cast<unsigned char>(b)))
        return std::nullopt;
    const std::string iso{static_cast<char>(std::tolower(static_cast<unsigned char>(a))),
                          static_cast<char>(std::tolower(static_cast<unsigned char>(b)))};
    return StreamLanguage{iso, iso};
}

const AudioFormat* audioFormat(unsigned code) {
    for (const AudioFormat& f : kAudioFormats)
        if (f.code == code) return &f;
    return nullptr;
}

DiscVideo videoOf(const video_attr_t& a) {
    DiscVideo v;
    v.pal = a.video_format == 1;
    v.height = v.pal ? 576 : 480;
    v.width = a.picture_size == 0 ? 720 : a.picture_size == 1 ? 704 : 352;
    if (a.picture_size == 3) v.height /= 2;
    v.wide = a.display_aspect_ratio == 3;
    v.panScan = v.wide && (a.permitted_df == 0 || a.permitted_df == 1);
    v.letterbox = v.wide && (a.permitted_df == 0 || a.permitted_df == 2);
    v.captionsField1 = a.line21_cc_1 != 0;
    v.captionsField2 = a.line21_cc_2 != 0;
    return v;
}

void quietLog(void*, dvd_logger_level_t, const char*, va_list) {}

Got infoBytes(dvd_reader_t* dvd, int set, std::string& name, std::vector<uint8_t>& bytes) {
    name = infoName(set, "IFO");
    std::unique_ptr<dvd_file_t, FileCloser> file(DVDOpenFile(dvd, set, DVD_READ_INFO_FILE));
    if (!file) {
        file.reset(DVDOpenFile(dvd, set, DVD_READ_INFO_BACKUP_FILE));
        if (!file) return Got::Missing;
        name = infoName(set, "BUP");
    }
    // libdvdread reads whole sectors: a last partial one is not there for it either.
    const ssize_t blocks = DVDFileSize(file.get());
    if (blocks < 0) return Got::Unreadable;
    if (static_cast<uint64_t>(blocks) * kSector > kMaxIfoBytes) return Got::TooLarge;
    bytes.resize(static_cast<size_t>(blocks) * kSector);
    if (bytes.empty()) return Got::Bytes;
    if (DVDFileSeek(file.get(), 0) != 0 ||
        DVDReadBytes(file.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return Got::Unreadable;
    return Got::Bytes;
}

} // namespace qf::ifo
