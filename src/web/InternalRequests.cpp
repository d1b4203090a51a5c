#include "web/InternalRequests.h"

// No internal handler is registered yet: every request is relayed.
bool Dispatch(const CSettings&, CGenericSocket&, CConnInfo&) {
    return false;
}
