#include "analysers/captions.h"

#include <algorithm>
#include <utility>

namespace qf {

namespace {

// No user data or SEI unit a caption reader needs is longer; longer ones are skipped.
constexpr size_t kMaxUnit = 4096;

constexpr uint8_t kPictureStart = 0x00, kUserData = 0xB2, kSequenceHeader = 0xB3,
                  kGroupStart = 0xB8;
constexpr uint8_t kNalSei = 6, kNalAud = 9;

bool oddParity(uint8_t b) {
    int ones = 0;
    for (int i = 0; i < 8; ++i) ones += (b >> i) & 1;
    return ones % 2 == 1;
}

bool startsWith(std::span<const uint8_t> d, std::initializer_list<uint8_t> prefix) {
    return d.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), d.begin());
}

// The rate codes of the MPEG-2 sequence header as pictures per second.
constexpr std::array<std::array<int, 2>, 9> kRates = {{{0, 1},
                                                       {24000, 1001},
                                                       {24, 1},
                                                       {25, 1},
                                                       {30000, 1001},
                                                       {30, 1},
                                                       {50, 1},
                                                       {60000, 1001},
                                                       {60, 1}}};

} // namespace

std::optional<int> line21Channel(uint8_t field, uint8_t b1, uint8_t b2) {
    if (!oddParity(b1) || !oddParity(b2)) return std::nullopt;
    const uint8_t c1 = b1 & 0x7F, c2 = b2 & 0x7F;
    if (c1 < 0x10 || c1 > 0x1F || c2 < 0x20) return std::nullopt;
    const int dataChannel = (c1 & 0x08) ? 2 : 1;
    return field == 1 ? dataChannel : dataChannel + 2;
}

int64_t CaptionReader::period(int pictures) const {
    return static_cast<int64_t>(pictures) * 90000 * rateDen_ / rateNum_;
}

void CaptionReader::feed(std::span<const uint8_t> run, std::optional<int64_t> pts) {
    if (pts) pendingPts_ = pts;
    for (const uint8_t byte : run) {
        window_ = window_ << 8 | byte;
        if (collect_ && !truncated_) {
            if (bytes_.size() < kMaxUnit)
                bytes_.push_back(byte);
            else
                truncated_ = true;
        }
        if ((window_ & 0xFFFFFF00) == 0x00000100) {
            // The next start code's own bytes are no part of the unit it ends.
            if (collect_ && !truncated_) bytes_.resize(bytes_.size() > 4 ? bytes_.size() - 4 : 0);
            unitEnded();
            startCode(byte);
        }
    }
}

void CaptionReader::startCode(uint8_t code) {
    unit_ = code;
    bytes_.clear();
    truncated_ = false;
    // Only the units read below are kept: slices pass uncopied.
    collect_ = coding_ == VideoCoding::Mpeg2
                   ? code == kUserData || code == kSequenceHeader || code == kPictureStart
                   : (code & 0x1F) == kNalSei;
    if (coding_ == VideoCoding::Mpeg2) {
        if (code == kGroupStart) {
            inGop_ = true;
            afterPicture_ = false;
        }
        if (code == kPictureStart) {
            unitPts_ = pendingPts_;
            pendingPts_.reset();
        }
        return;
    }
    // H.264: an access unit starts at its delimiter, or at the first SEI or parameter set
    // after a picture's slices.
    const int type = code & 0x1F;
    const bool slice = type == 1 || type == 5;
    if (type == kNalAud || ((type == kNalSei || type == 7 || type == 8) && sliceSeen_)) {
        if (pendingPts_)
            pictureTime_ = pendingPts_;
        else if (pictureTime_)
            pictureTime_ = *pictureTime_ + period(1);
        pendingPts_.reset();
        sliceSeen_ = false;
        afterPicture_ = pictureTime_.has_value();
        resolveWaiting();
    }
    if (slice) {
        if (!sliceSeen_ && !pictureTime_ && pendingPts_) {
            pictureTime_ = pendingPts_;
            pendingPts_.reset();
            afterPicture_ = true;
            resolveWaiting();
        }
        sliceSeen_ = true;
    }
}

void CaptionReader::unitEnded() {
    if (unit_ < 0 || truncated_) return;
    const std::span<const uint8_t> d(bytes_);
    if (coding_ == VideoCoding::H264) {
        if ((unit_ & 0x1F) == kNalSei) {
            // Emulation prevention bytes out: 00 00 03 stands for 00 00.
            std::vector<uint8_t> rbsp;
            rbsp.reserve(d.size());
            int zeros = 0;
            for (const uint8_t b : d) {
                if (zeros >= 2 && b == 3) {
                    zeros = 0;
                    continue;
                }
                zeros = b == 0 ? zeros + 1 : 0;
                rbsp.push_back(b);
            }
            sei(rbsp);
        }
        return;
    }
    if (unit_ == kSequenceHeader && d.size() >= 4) {
        const auto& rate = kRates[(d[3] & 0x0F) < 9 ? d[3] & 0x0F : 0];
        if (rate[0] > 0) {
            rateNum_ = rate[0];
            rateDen_ = rate[1];
        }
    } else if (unit_ == kPictureStart && d.size() >= 2) {
        pictureStarted(d[0] << 2 | d[1] >> 6);
    } else if (unit_ == kUserData) {
        userData(d);
    }
}

void CaptionReader::pictureStarted(int temporalReference) {
    if (unitPts_) {
        pictureTime_ = unitPts_;
        gopStart_ = *unitPts_ - period(temporalReference);
    } else if (gopStart_ && !inGop_) {
        pictureTime_ = *gopStart_ + period(temporalReference);
    } else if (pictureTime_) {
        pictureTime_ = *pictureTime_ + period(1);
        if (inGop_) gopStart_ = *pictureTime_ - period(temporalReference);
    }
    unitPts_.reset();
    inGop_ = false;
    afterPicture_ = pictureTime_.has_value();
    resolveWaiting();
}

void CaptionReader::resolveWaiting() {
    if (!pictureTime_) return;
    for (Waiting& w : waiting_) {
        // A GOP's pairs count its pictures in display order from the GOP's first.
        const int64_t base = w.fromGop && gopStart_ ? *gopStart_ : *pictureTime_;
        w.pair.time = base + period(std::max(w.picture, 0));
        pairs_.push_back(w.pair);
    }
    waiting_.clear();
}

void CaptionReader::add(uint8_t field, uint8_t b1, uint8_t b2, int picture, bool fromGop) {
    if (const auto channel = line21Channel(field, b1, b2))
        channels_.present[static_cast<size_t>(*channel - 1)] = true;
    const CaptionPair pair{0, field, b1, b2};
    if (!fromGop && afterPicture_ && pictureTime_)
        pairs_.push_back({*pictureTime_ + period(std::max(picture, 0)), field, b1, b2});
    else
        waiting_.push_back({pair, picture, fromGop});
}

void CaptionReader::userData(std::span<const uint8_t> d) {
    if (startsWith(d, {'G', 'A', '9', '4', 0x03})) {
        ccData(d.subspan(5));
        return;
    }
    if (!startsWith(d, {'C', 'C', 0x01, 0xF8}) || d.size() < 5) return;
    // caption_block_count (five bits) blocks of two fields, and one more field when the
    // extra-field flag (bit 0) is set; each field: a marker whose bit 0 says field 1,
    // then its byte pair. A block after a GOP header counts the GOP's pictures.
    const size_t fields = static_cast<size_t>((d[4] >> 1) & 0x1F) * 2 + (d[4] & 1);
    if (channels_.carriage == CaptionCarriage::None) channels_.carriage = CaptionCarriage::DvdGop;
    for (size_t i = 0; i < fields && 5 + 3 * i + 2 < d.size(); ++i) {
        const uint8_t* f = &d[5 + 3 * i];
        add(f[0] & 1 ? 1 : 2, f[1], f[2], static_cast<int>(i / 2), inGop_);
    }
}

void CaptionReader::ccData(std::span<const uint8_t> d) {
    // process_em_data_flag, process_cc_data_flag, additional_data_flag, cc_count (5 bits),
    // em_data, then cc_count times: marker bits, cc_valid, cc_type (2 bits), two bytes.
    if (d.size() < 2 || !(d[0] & 0x40)) return;
    if (channels_.carriage == CaptionCarriage::None) channels_.carriage = CaptionCarriage::Atsc;
    const size_t count = d[0] & 0x1F;
    for (size_t i = 0; i < count && 2 + 3 * i + 2 < d.size(); ++i) {
        const uint8_t* c = &d[2 + 3 * i];
        const int type = c[0] & 3;
        if ((c[0] & 4) && type <= 1) add(static_cast<uint8_t>(type + 1), c[1], c[2], -1, false);
    }
}

void CaptionReader::sei(std::span<const uint8_t> rbsp) {
    size_t p = 0;
    while (p + 2 <= rbsp.size() && rbsp[p] != 0x80) {
        size_t type = 0, size = 0;
        while (p < rbsp.size() && rbsp[p] == 0xFF) type += rbsp[p++];
        if (p >= rbsp.size()) return;
        type += rbsp[p++];
        while (p < rbsp.size() && rbsp[p] == 0xFF) size += rbsp[p++];
        if (p >= rbsp.size()) return;
        size += rbsp[p++];
        if (size > rbsp.size() - p) return;
        const std::span<const uint8_t> payload = rbsp.subspan(p, size);
        // user_data_registered_itu_t_t35: United States, ATSC, "GA94", cc_data
        if (type == 4 && startsWith(payload, {0xB5, 0x00, 0x31, 'G', 'A', '9', '4', 0x03}))
            ccData(payload.subspan(8));
        p += size;
    }
}

void CaptionReader::finish() {
    unitEnded();
    unit_ = -1;
    collect_ = false;
    if (!pictureTime_) pictureTime_ = 0;
    resolveWaiting();
}

std::vector<CaptionPair> CaptionReader::takePairs() {
    std::stable_sort(pairs_.begin(), pairs_.end(),
                     [](const CaptionPair& a, const CaptionPair& b) { return a.time < b.time; });
    return std::exchange(pairs_, {});
}

CaptionChannels captionChannels(std::span<const uint8_t> run, VideoCoding coding) {
    CaptionReader reader(coding);
    reader.feed(run, 0);
    reader.finish();
    return reader.channels();
}

} // namespace qf
