#include "engine/framecount.h"

#include <cstring>

namespace qf {

int32_t countStartCodes(CodeWindow& w, const uint8_t* data, size_t n, uint8_t code) {
    const uint32_t pattern = 0x00000100u | code;
    int32_t count = 0;
    // A pattern ending in one of the first three bytes takes bytes of the window.
    const size_t head = n < 3 ? n : 3;
    for (size_t i = 0; i < head; ++i) {
        w.bits = (w.bits << 8) | data[i];
        if (w.fill < 4) ++w.fill;
        if (w.fill == 4 && w.bits == pattern) ++count;
    }
    if (n <= 3) return count;

    // The rest lies wholly inside the run: find each 0x01 with memchr, then check the two
    // bytes before it and the byte after it.
    const uint8_t* end = data + n;
    const uint8_t* p = data + 2;
    while (p + 1 < end) {
        const void* hit = std::memchr(p, 0x01, static_cast<size_t>(end - 1 - p));
        if (!hit) break;
        const uint8_t* one = static_cast<const uint8_t*>(hit);
        if (one[1] == code && one[-1] == 0 && one[-2] == 0) ++count;
        p = one + 1;
    }
    w.bits = static_cast<uint32_t>(end[-4]) << 24 | static_cast<uint32_t>(end[-3]) << 16 |
             static_cast<uint32_t>(end[-2]) << 8 | end[-1];
    w.fill = 4;
    return count;
}

namespace {

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kExtensionStart = 0xB5;
constexpr uint8_t kSequenceExtension = 1;
constexpr uint8_t kPictureCodingExtension = 8;
constexpr size_t kExtensionBytes = 4; // what the counting needs of an extension

// A picture counts as one frame of two fields when its start code is met; its coding
// extension, when one follows, corrects that.
void picture(PictureTally& t) {
    ++t.frames;
    t.fields += 2;
}

void extension(PictureScan& s, const uint8_t* e, PictureTally& t) {
    const int id = e[0] >> 4;
    if (id == kSequenceExtension) {
        s.progressiveSequence = (e[1] & 0x08) != 0;
        return;
    }
    if (id != kPictureCodingExtension) return;
    const int structure = e[2] & 3;
    const bool topFirst = (e[3] & 0x80) != 0, repeatFirst = (e[3] & 0x02) != 0;
    if (structure == 1 || structure == 2) { // a field picture
        if (s.secondFieldDue) {             // completes the frame its partner counted
            --t.frames;
            t.fields -= 2;
        }
        s.secondFieldDue = !s.secondFieldDue;
        return;
    }
    s.secondFieldDue = false;
    if (repeatFirst) t.fields += s.progressiveSequence ? (topFirst ? 4 : 2) : 1;
}

// A start code whose code byte is `code`.
void startCode(PictureScan& s, uint8_t code, PictureTally& t) {
    s.extWanted = 0;
    if (code == kPictureStart) {
        picture(t);
    } else if (code == kExtensionStart) {
        s.extWanted = kExtensionBytes;
        s.extHave = 0;
    }
}

// One byte at a time, for the bytes that join a run to the one before.
void step(PictureScan& s, uint8_t b, PictureTally& t) {
    const bool code = s.window.fill >= 3 && (s.window.bits & 0x00FFFFFF) == 0x000001;
    s.window.bits = (s.window.bits << 8) | b;
    if (s.window.fill < 4) ++s.window.fill;
    if (code) {
        startCode(s, b, t);
    } else if (s.extWanted > 0) {
        s.ext[s.extHave++] = b;
        if (s.extHave == s.extWanted) {
            s.extWanted = 0;
            extension(s, s.ext, t);
        }
    }
}

} // namespace

void countPictures(PictureScan& s, const uint8_t* data, size_t n, PictureTally& tally) {
    // Byte by byte while a start code or an extension may reach back into the runs before.
    size_t i = 0;
    while (i < n && (i < 3 || s.extWanted > 0)) step(s, data[i++], tally);
    if (i == n) return;

    // The rest: find each 0x01 with memchr; a start code needs its two zeros and its code
    // byte inside the run, an extension's bytes may run on into the next.
    const uint8_t* end = data + n;
    const uint8_t* p = data + i - 1; // a 0x01 stepped over may precede the first code byte
    while (p + 1 < end) {
        const void* hit = std::memchr(p, 0x01, static_cast<size_t>(end - 1 - p));
        if (!hit) break;
        const uint8_t* one = static_cast<const uint8_t*>(hit);
        p = one + 1;
        if (one[-1] != 0 || one[-2] != 0) continue;
        startCode(s, one[1], tally);
        if (s.extWanted == 0) continue;
        const uint8_t* e = one + 2;
        const size_t left = static_cast<size_t>(end - e);
        if (left >= kExtensionBytes) {
            // As byte by byte: a start code completed inside the bytes ends the extension.
            s.extWanted = 0;
            if (!(e[0] == 0 && e[1] == 0 && e[2] == 1)) extension(s, e, tally);
            p = e;
        } else {
            std::memcpy(s.ext, e, left);
            s.extHave = static_cast<uint8_t>(left);
            break;
        }
    }
    s.window.bits = static_cast<uint32_t>(end[-4]) << 24 | static_cast<uint32_t>(end[-3]) << 16 |
                    static_cast<uint32_t>(end[-2]) << 8 | end[-1];
    s.window.fill = 4;
}

} // namespace qf
