#pragma once

#include "os/CException.h"
#include "os/CNetAddress.h"
#include "text/CIString.h"

#include <cstdint>
#include <functional>
#include <string_view>

class CConnInfo;
class CGenericSocket;
class CSettings;
class CStatistic;

// The pages the browser sees for an error or a redirect, made from the
// templates of the error directory.
namespace errorpage {

// Writes the page of error (with a head when nothing was sent yet) to the
// browser, or the redirect head of a redirect; returns the bytes of the page
// body sent.
long Send(const CHTMLErrException& error, std::uint32_t ownerTag, CGenericSocket& client,
          const CConnInfo* request, const CConnInfo* response, const CNetAddress& clientAddress);

// The template of error, read once per prototype.
const CIString& Text(const CHTMLErrException& error);
// Reads a template of the error directory; the default page, naming the
// template, when it is missing, unreadable or empty.
CIString LoadTemplate(const CIString& templateName);
// Replaces the %-placeholders in text; inserted values are never rescanned.
void FillPlaceholders(CIString& text, const CConnInfo* request, const CConnInfo* response,
                      const CNetAddress& clientAddress);

} // namespace errorpage

// URL blocking of one request. lookup gives the block list's verdict on the
// request's full URL; a verdict of 1 counts BlockedRequests (statistic may be
// null) and raises requestblocked.html, or a redirect to blockTo when that is
// not empty. Any other verdict lets the request pass.
void CheckBlockedURL(const CConnInfo& request, const CIString& blockTo, CStatistic* statistic,
                     const std::function<int(std::string_view url)>& lookup);
// The same with a group's settings: AccessControl.Block, its block list and
// AccessControl.BlockTo. The caller tests AccessControl.Enabled and the
// request's white-list exemption.
void CheckBlockedURL(const CConnInfo& request, const CSettings& settings);
