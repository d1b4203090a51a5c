#pragma once

class CConnInfo;
class CHostList;
class CSettings;

// Refuses a request for its host alone, before anything is connected: when a
// host list blocks the host (HostFilter.Enabled), or, for a tunnel, when the
// advertising URL lists name the host as a whole (HostFilter.CheckTunnels).
// A tunnel gets 403; plain HTTP gets the block page of URL blocking or its
// redirect. Each refusal counts as a blocked request and is written to the
// security log with the entry and list that decided it. hosts may be null.
void CheckBlockedHost(const CConnInfo& request, const CSettings& settings, const CHostList* hosts);
