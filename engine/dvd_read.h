#pragma once
// What the disc reader's child reads alike from titles' and menus' IFO tables through
// libdvdread: times, languages, the picture, the audio formats the engine knows, and an
// IFO's bytes for the checks that run before libdvdread parses them.
#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/codecs.h"
#include "engine/dvd_disc.h"

namespace qf::ifo {

inline constexpr int64_t kSector = DVD_VIDEO_LB_LEN;

int bcd(uint8_t v);
// A playback time in seconds; a frame rate it does not name counts no frames.
double seconds(const dvd_time_t& t);
// The code only: its name is looked up by the program, not here.
std::optional<StreamLanguage> language(bool set, uint16_t code);

// The IFO's audio format codes the engine knows, with the stream each one stands for.
struct AudioFormat {
    uint8_t code;
    Codec codec;
    const char* name;
};
const AudioFormat* audioFormat(unsigned code); // nullptr: SDDS and reserved codes

DiscVideo videoOf(const video_attr_t& a);

// Messages of libdvdread are not the user's concern: what matters comes back as a failed
// open or read.
void quietLog(void*, dvd_logger_level_t, const char*, va_list);

struct DvdCloser {
    void operator()(dvd_reader_t* d) const { DVDClose(d); }
};
struct IfoCloser {
    void operator()(ifo_handle_t* h) const { ifoClose(h); }
};
struct FileCloser {
    void operator()(dvd_file_t* f) const { DVDCloseFile(f); }
};
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoCloser>;

// The bytes libdvdread will parse for a title set (0: the video manager): its IFO, or its
// BUP when the IFO cannot be opened, as libdvdread chooses. Sets `name` to the file's.
enum class Got { Bytes, Missing, Unreadable, TooLarge };
Got infoBytes(dvd_reader_t* dvd, int set, std::string& name, std::vector<uint8_t>& bytes);

} // namespace qf::ifo
