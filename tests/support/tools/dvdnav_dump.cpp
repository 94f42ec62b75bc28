// Plays title TITLE of DISC in angle ANGLE through libdvdnav, which follows the navigation
// packets, and writes the MPEG sectors of each cell it plays to PREFIX.cellN (NAV packs
// left out), so that what a navigating player reads can be set beside the sources.
//
//   dvdnav_dump DISC TITLE ANGLE PREFIX
#include <cstdio>
#include <cstdlib>
#include <dvdnav/dvdnav.h>

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: dvdnav_dump DISC TITLE ANGLE PREFIX\n");
        return 2;
    }
    dvdnav_t* nav = nullptr;
    if (dvdnav_open(&nav, argv[1]) != DVDNAV_STATUS_OK) return 1;
    dvdnav_set_readahead_flag(nav, 0);
    if (dvdnav_title_play(nav, std::atoi(argv[2])) != DVDNAV_STATUS_OK) return 1;
    static uint8_t block[DVD_VIDEO_LB_LEN];
    FILE* out = nullptr;
    int angleSet = 0;
    // Bounded: a title of the test discs has far fewer blocks.
    for (long n = 0; n < 10000000; ++n) {
        int event = 0, len = 0;
        uint8_t* buf = block;
        if (dvdnav_get_next_block(nav, buf, &event, &len) != DVDNAV_STATUS_OK) return 1;
        if (event == DVDNAV_STOP) break;
        if (event == DVDNAV_VTS_CHANGE || event == DVDNAV_CELL_CHANGE) {
            if (!angleSet && dvdnav_angle_change(nav, std::atoi(argv[3])) == DVDNAV_STATUS_OK)
                angleSet = 1;
        }
        if (event == DVDNAV_CELL_CHANGE) {
            const auto* cell = reinterpret_cast<const dvdnav_cell_change_event_t*>(buf);
            int title = 0, part = 0;
            // The title ends where another begins (dvdauthor's chains go back to the menu).
            if (dvdnav_current_title_info(nav, &title, &part) == DVDNAV_STATUS_OK &&
                title != std::atoi(argv[2]))
                break;
            if (out) fclose(out);
            char name[4096];
            snprintf(name, sizeof name, "%s.cell%d", argv[4], cell->cellN);
            out = fopen(name, "wb");
            if (!out) return 1;
        } else if (event == DVDNAV_BLOCK_OK && out) {
            std::fwrite(buf, 1, static_cast<size_t>(len), out);
        } else if (event == DVDNAV_STILL_FRAME) {
            dvdnav_still_skip(nav);
        } else if (event == DVDNAV_WAIT) {
            dvdnav_wait_skip(nav);
        }
    }
    if (out) fclose(out);
    dvdnav_close(nav);
    return angleSet ? 0 : 1;
}
