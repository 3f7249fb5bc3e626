// The core's one state record, and installing the backend it calls.
#include "core.h"

#include <cstring>

namespace platform {

Core g_core = {};

void SetBackend(const Backend *backend)
{
    g_core.backend = backend;
}

void ResetCore()
{
    const Backend *backend = g_core.backend;
    std::memset(&g_core, 0, sizeof g_core);
    g_core.backend = backend;
}

} // namespace platform
