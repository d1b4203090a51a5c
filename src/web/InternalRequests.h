#pragma once

class CConnInfo;
class CGenericSocket;
class CSettings;

// Offers a request to the proxy's own handlers; true when one answered it.
bool Dispatch(const CSettings& settings, CGenericSocket& clientSocket, CConnInfo& request);
