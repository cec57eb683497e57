#include "run/StatusSurface.h"

namespace eitool {

void UpdateFileProgress(StatusSurface& surface, std::int32_t value) {
    if (value != surface.ProgressPosition()) {
        surface.SetProgressPosition(value);
        surface.ProcessMessages();
    }
}

} // namespace eitool
