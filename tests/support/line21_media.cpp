#include "support/line21_media.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/ffmpeg.h"

namespace qf::test {

namespace {

// The folder goes when the test program ends.
struct MediaDir {
    std::string path;
    ~MediaDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

const std::string& mediaDir() {
    static const MediaDir dir{[] {
        char pattern[] = "/tmp/quillfen-line21-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) return std::string();
        const std::string d = made;
        // 12 s of NTSC video, each picture its own GOP so that GOP user data can carry
        // every frame's pairs.
        if (!ffmpeg(d, "-f lavfi -i testsrc=size=352x240:rate=30000/1001 -frames:v 360 "
                       "-c:v mpeg2video -g 1 -bf 0 -q:v 31 -f mpeg2video base.m2v")) {
            std::error_code ec;
            std::filesystem::remove_all(d, ec);
            return std::string();
        }
        return d;
    }()};
    return dir.path;
}

std::string withoutMarkup(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '<' || s[i] == '{') {
            const size_t close = s.find(s[i] == '<' ? '>' : '}', i);
            if (close != std::string::npos) {
                i = close;
                continue;
            }
        }
        // ffmpeg keeps some rows' indents as hard spaces: layout, which SRT text has not
        if (s.compare(i, 2, "\\h") == 0 && (out.empty() || out.back() == '\n')) {
            ++i;
            continue;
        }
        if (s[i] != '\r') out += s[i];
    }
    return out;
}

int64_t millis(const std::string& t) { // HH:MM:SS,mmm
    return std::stoll(t.substr(0, 2)) * 3600000 + std::stoll(t.substr(3, 2)) * 60000 +
           std::stoll(t.substr(6, 2)) * 1000 + std::stoll(t.substr(9, 3));
}

} // namespace

Line21Script line21Showcase(int field, int channel) {
    Line21Script s;
    s.field(field, channel);
    // pop-on: two rows, an indent, italics from the preamble and a mid-row code
    // RCL, ENM before each: the end of caption swaps the memories, so encoders erase
    // the one they load.
    s.at(0)
        .control(0x20)
        .control(0x2E)
        .pac(14, 0)
        .text("Hello there,")
        .pac(15, 8)
        .text("world")
        .control(0x2F);
    s.at(60).control(0x20).control(0x2E).pacStyle(15, 7).text("Italic").midRow(0x20).text("plain ");
    s.special(0x37).text(" *\\^_`{|}~").control(0x2F);
    // special and extended characters (each extended one after the letter it replaces)
    s.at(110).control(0x20).control(0x2E).pac(13, 4).text("Caf").special(0x3A).text(" E").extended(
        0x12, 0x21);
    s.text("A").extended(0x13, 0x30).pac(15, 0).text("ab").tab(2).text("c").control(0x2F);
    s.at(150).control(0x2C);
    // roll-up, three rows, four lines
    s.at(160).control(0x26).control(0x2D).pac(15, 0).text("Rolling one").control(0x2D);
    s.text("Rolling two").control(0x2D).text("Rolling three").control(0x2D).text("Rolling four");
    s.at(230).control(0x2C);
    // paint-on, in two goes, then a row deleted from its cursor on
    s.at(240).control(0x29).pac(10, 8).text("Painted").at(270).text(" more");
    s.pac(11, 0).text("gone").pac(11, 0).control(0x24).text("kept");
    s.at(320).control(0x2C);
    return s;
}

std::string line21Stream(const std::string& name, const std::vector<Line21Frame>& frames,
                         Line21Carriage how) {
    if (mediaDir().empty()) return {};
    const std::vector<uint8_t> m2v = withLine21(fileBytes(mediaDir() + "/base.m2v"), frames, how);
    const std::string path = mediaDir() + "/" + name + ".m2v";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(m2v.data()), static_cast<std::streamsize>(m2v.size()));
    return path;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<CaptionPair> readPairs(const std::vector<uint8_t>& m2v, size_t runBytes, int64_t origin,
                                   bool firstPtsOnly) {
    CaptionReader reader(VideoCoding::Mpeg2);
    int64_t picture = 0;
    size_t i = 0;
    for (size_t at = 0; at < m2v.size(); at += runBytes) {
        const size_t end = std::min(m2v.size(), at + runBytes);
        std::optional<int64_t> pts;
        for (; i < end; ++i) {
            if (i + 3 < m2v.size() && m2v[i] == 0 && m2v[i + 1] == 0 && m2v[i + 2] == 1 &&
                m2v[i + 3] == 0) {
                if (!pts && (!firstPtsOnly || picture == 0)) pts = origin + picture * kNtscFrame;
                ++picture;
            }
        }
        reader.feed(std::span<const uint8_t>(m2v).subspan(at, end - at), pts);
    }
    reader.finish();
    return reader.takePairs();
}

std::vector<SrtCue> parseSrt(const std::string& srt) {
    std::vector<SrtCue> cues;
    std::istringstream in(withoutMarkup(srt));
    std::string line;
    while (std::getline(in, line)) {
        const size_t arrow = line.find(" --> ");
        if (arrow == std::string::npos) continue;
        SrtCue cue{millis(line.substr(0, 12)), millis(line.substr(arrow + 5, 12)), {}};
        while (std::getline(in, line) && !line.empty())
            cue.text += (cue.text.empty() ? "" : "\n") + line;
        cues.push_back(cue);
    }
    return cues;
}

std::string ffmpegSrt(const std::string& m2v) {
    const std::string srt = m2v + ".ffmpeg.srt";
    if (!ffmpeg(mediaDir(), "-f lavfi -i 'movie=" + m2v + "[out0+subcc]' -map 0:s '" + srt + "'"))
        return {};
    const std::vector<uint8_t> bytes = fileBytes(srt);
    return {bytes.begin(), bytes.end()};
}

} // namespace qf::test
