#include "model/window_model.h"

namespace qf {

WindowModel::WindowModel() {
    for (auto& cb : cbVideo) cb.caption = "Video stream";
    for (auto& cb : cbAudio) cb.caption = "Audio stream";
    for (auto& cb : cbSub) cb.caption = "Subpicture";
    for (size_t i = 1; i < cbSub.size(); ++i)
        cbSub[i].hint = "Check the desired subpicture streams";
}

} // namespace qf
