#pragma once

#include "text/CIString.h"

#include <array>

// The fixed vocabulary of the washers, the HTTP layer and the configuration
// pages. The constants are built at program start, before any thread, and are
// only ever read; every test against them is case-insensitive.
namespace vocab {

// Line end written after every header line.
extern const CIString kLineEnd;

// HTML tag and attribute names.
extern const CIString kHtmlScript;
extern const CIString kHtmlEndScript;
extern const CIString kHtmlLanguage;
extern const CIString kHtmlImg;
extern const CIString kHtmlSrc;
extern const CIString kHtmlData;
extern const CIString kHtmlWidth;
extern const CIString kHtmlHeight;
extern const CIString kHtmlApplet;
extern const CIString kHtmlEmbed;
extern const CIString kHtmlObject;
extern const CIString kHtmlClassid;
extern const CIString kHtmlClsid;
extern const CIString kHtmlJavaColon;
extern const CIString kHtmlType;
extern const CIString kHtmlMeta;
extern const CIString kHtmlContent;
extern const CIString kHtmlName;
extern const CIString kHtmlArea;
extern const CIString kHtmlBorder;
extern const CIString kHtmlAlt;
extern const CIString kHtmlOnMouseOver;
extern const CIString kHtmlOnMouseOut;
extern const CIString kHtmlOnClick;
extern const CIString kHtmlFrame;
extern const CIString kHtmlForm;
extern const CIString kHtmlAction;
extern const CIString kHtmlA;
extern const CIString kHtmlHref;
extern const CIString kHtmlHttpEquiv;
extern const CIString kHtmlBody;
extern const CIString kHtmlOnload;
extern const CIString kHtmlOnunload;
extern const CIString kHtmlInput;
extern const CIString kHtmlLayer;
extern const CIString kHtmlIframe;
extern const CIString kHtmlShapes;
extern const CIString kHtmlCodebase;
extern const CIString kHtmlScrolling;
extern const CIString kHtmlNo;
extern const CIString kHtmlTd;
extern const CIString kHtmlBackground;
extern const CIString kHtmlTable;
extern const CIString kHtmlFrameset;
extern const CIString kHtmlEndFrameset;
extern const CIString kHtmlRows;
extern const CIString kHtmlCols;

// Pseudo-tags and template words of the configuration pages.
extern const CIString kCvPlatform;
extern const CIString kCvStats;
extern const CIString kCvRefresh;
extern const CIString kCvHiddenUser;

// Cache words tested in <meta http-equiv=...>.
extern const CIString kMetaAge;
extern const CIString kMetaCacheControl;
extern const CIString kMetaExpires;
extern const CIString kMetaPragma;

// HTTP header names, spelled as the proxy writes them.
extern const CIString kHdrAccept;
extern const CIString kHdrAcceptCharset;
extern const CIString kHdrAcceptEncoding;
extern const CIString kHdrAcceptLanguage;
extern const CIString kHdrAcceptRanges;
extern const CIString kHdrAge;
extern const CIString kHdrAllow;
extern const CIString kHdrAuthorization;
extern const CIString kHdrCacheControl;
extern const CIString kHdrClose;
extern const CIString kHdrConnection;
extern const CIString kHdrContentEncoding;
extern const CIString kHdrContentLanguage;
extern const CIString kHdrContentLength;
extern const CIString kHdrContentLocation;
extern const CIString kHdrContentMD5;
extern const CIString kHdrContentRange;
extern const CIString kHdrContentType;
extern const CIString kHdrDate;
extern const CIString kHdrEtag;
extern const CIString kHdrExpect;
extern const CIString kHdrExpires;
extern const CIString kHdrFrom;
extern const CIString kHdrHost;
extern const CIString kHdrIfMatch;
extern const CIString kHdrIfModifiedSince;
extern const CIString kHdrIfNoneMatch;
extern const CIString kHdrIfRange;
extern const CIString kHdrIfUnmodifiedSince;
extern const CIString kHdrLastModified;
extern const CIString kHdrLocation;
extern const CIString kHdrMaxForwards;
extern const CIString kHdrPragma;
extern const CIString kHdrProxyAuthenticate;
extern const CIString kHdrProxyAuthorization;
extern const CIString kHdrProxyConnection;
extern const CIString kHdrRange;
extern const CIString kHdrReferer;
extern const CIString kHdrRetryAfter;
extern const CIString kHdrServer;
extern const CIString kHdrTE;
extern const CIString kHdrTrailer;
extern const CIString kHdrTransferEncoding;
extern const CIString kHdrUpgrade;
extern const CIString kHdrUserAgent;
extern const CIString kHdrVary;
extern const CIString kHdrVia;
extern const CIString kHdrWarning;
extern const CIString kHdrWWWAuthenticate;

// Internal resources and paths.
extern const CIString kResTransGif;
extern const CIString kResImageGif;
extern const CIString kResBlankHtml;
extern const CIString kResConf;
extern const CIString kResCvFile;
extern const CIString kResCvStats;

// Script words.
extern const CIString kJsWindowStatus;
extern const CIString kJsWindowOpen;
extern const CIString kJsOpen;
extern const CIString kJsLocationHref;
extern const CIString kJsBanner;
extern const CIString kJsPopupUrl;

// Edition words of the cvplatform pseudo-tag.
extern const CIString kEdNotHomeEdition;
extern const CIString kEdStandalone;
constexpr std::size_t kCount = 119;
// Every constant, in the order in which they are built.
const std::array<const CIString*, kCount>& All();

} // namespace vocab
