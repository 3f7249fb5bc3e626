// The core's one state record, installing the backend it calls, and the one
// way every layer says a failure.
#include "core.h"

#include <cstring>

namespace platform {

Core g_core = {};

void SetBackend(const Backend *backend)
{
    g_core.backend = backend;
}

void ReportError(const char *what, const char *detail)
{
    g_core.backend->reportError(what, detail);
}

void ResetCore()
{
    const Backend *backend = g_core.backend;
    std::memset(&g_core, 0, sizeof g_core);
    g_core.backend = backend;
}

} // namespace platform
