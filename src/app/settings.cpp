#include "app/settings.h"

namespace varnel {

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

} // namespace varnel
