#pragma once

#include <string>
#include <string_view>

// Every text that comes from a request, a response, the network or a settings
// file is escaped before it goes into one of the proxy's own pages, so that a
// crafted URL or list entry cannot put markup (or a script) into them. Quotes
// are escaped too: the pages put such texts into attribute values as well.
std::string HTMLEscape(std::string_view text);
