#include "text/Vocabulary.h"

// One translation unit, so that the constants are built in this order.
namespace vocab {

// Line end written after every header line.
const CIString kLineEnd("\r\n");

// HTML tag and attribute names.
const CIString kHtmlScript("script");
const CIString kHtmlEndScript("</script");
const CIString kHtmlLanguage("language");
const CIString kHtmlImg("img");
const CIString kHtmlSrc("src");
const CIString kHtmlData("data");
const CIString kHtmlWidth("width");
const CIString kHtmlHeight("height");
const CIString kHtmlApplet("applet");
const CIString kHtmlEmbed("embed");
const CIString kHtmlObject("object");
const CIString kHtmlClassid("classid");
const CIString kHtmlClsid("clsid");
const CIString kHtmlJavaColon("java:");
const CIString kHtmlType("type");
const CIString kHtmlMeta("meta");
const CIString kHtmlContent("content");
const CIString kHtmlName("name");
const CIString kHtmlArea("area");
const CIString kHtmlBorder("border");
const CIString kHtmlAlt("alt");
const CIString kHtmlOnMouseOver("onMouseOver");
const CIString kHtmlOnMouseOut("onMouseOut");
const CIString kHtmlOnClick("onClick");
const CIString kHtmlFrame("frame");
const CIString kHtmlForm("form");
const CIString kHtmlAction("action");
const CIString kHtmlA("a");
const CIString kHtmlHref("href");
const CIString kHtmlHttpEquiv("http-equiv");
const CIString kHtmlBody("body");
const CIString kHtmlOnload("onload");
const CIString kHtmlOnunload("onunload");
const CIString kHtmlInput("input");
const CIString kHtmlLayer("layer");
const CIString kHtmlIframe("iframe");
const CIString kHtmlShapes("shapes");
const CIString kHtmlCodebase("codebase");
const CIString kHtmlScrolling("scrolling");
const CIString kHtmlNo("no");
const CIString kHtmlTd("td");
const CIString kHtmlBackground("background");
const CIString kHtmlTable("table");
const CIString kHtmlFrameset("frameset");
const CIString kHtmlEndFrameset("/frameset");
const CIString kHtmlRows("rows");
const CIString kHtmlCols("cols");

// Pseudo-tags and template words of the configuration pages.
const CIString kCvPlatform("cvplatform");
const CIString kCvStats("cvstats");
const CIString kCvRefresh("cvrefresh");
const CIString kCvHiddenUser("cvhiddenuser");

// Cache words tested in <meta http-equiv=...>.
const CIString kMetaAge("age");
const CIString kMetaCacheControl("Cache-Control");
const CIString kMetaExpires("Expires");
const CIString kMetaPragma("Pragma");

// HTTP header names, spelled as the proxy writes them.
const CIString kHdrAccept("Accept");
const CIString kHdrAcceptCharset("Accept-Charset");
const CIString kHdrAcceptEncoding("Accept-Encoding");
const CIString kHdrAcceptLanguage("Accept-Language");
const CIString kHdrAcceptRanges("Accept-Ranges");
const CIString kHdrAge("Age");
const CIString kHdrAllow("Allow");
const CIString kHdrAuthorization("Authorization");
const CIString kHdrCacheControl("Cache-Control");
const CIString kHdrClose("Close");
const CIString kHdrConnection("Connection");
const CIString kHdrContentEncoding("Content-Encoding");
const CIString kHdrContentLanguage("Content-Language");
const CIString kHdrContentLength("Content-Length");
const CIString kHdrContentLocation("Content-Location");
const CIString kHdrContentMD5("Content-MD5");
const CIString kHdrContentRange("Content-Range");
const CIString kHdrContentType("Content-type");
const CIString kHdrDate("Date");
const CIString kHdrEtag("Etag");
const CIString kHdrExpect("Expect");
const CIString kHdrExpires("Expires");
const CIString kHdrFrom("From");
const CIString kHdrHost("Host");
const CIString kHdrIfMatch("If-Match");
const CIString kHdrIfModifiedSince("If-Modified-Since");
const CIString kHdrIfNoneMatch("If-None-Match");
const CIString kHdrIfRange("If-Range");
const CIString kHdrIfUnmodifiedSince("If-Unmodified-Since");
const CIString kHdrLastModified("Last-Modified");
const CIString kHdrLocation("Location");
const CIString kHdrMaxForwards("Max-Forwards");
const CIString kHdrPragma("Pragma");
const CIString kHdrProxyAuthenticate("Proxy-Authenticate");
const CIString kHdrProxyAuthorization("Proxy-Authorization");
const CIString kHdrProxyConnection("Proxy-Connection");
const CIString kHdrRange("Range");
const CIString kHdrReferer("Referer");
const CIString kHdrRetryAfter("Retry-After");
const CIString kHdrServer("Server");
const CIString kHdrTE("TE");
const CIString kHdrTrailer("Trailer");
const CIString kHdrTransferEncoding("Transfer-Encoding");
const CIString kHdrUpgrade("Upgrade");
const CIString kHdrUserAgent("User-Agent");
const CIString kHdrVary("Vary");
const CIString kHdrVia("Via");
const CIString kHdrWarning("Warning");
const CIString kHdrWWWAuthenticate("WWW-Authenticate");

// Internal resources and paths.
const CIString kResTransGif("trans.gif");
const CIString kResImageGif("image.gif");
const CIString kResBlankHtml("blank.html");
const CIString kResConf("conf");
const CIString kResCvFile("cvfile");
const CIString kResCvStats("cvstats");

// Script words.
const CIString kJsWindowStatus("window.status");
const CIString kJsWindowOpen("window.open");
const CIString kJsOpen("open");
const CIString kJsLocationHref(".location.href");
const CIString kJsBanner("/banner.");
const CIString kJsPopupUrl("popupurl");

// Edition words of the cvplatform pseudo-tag.
const CIString kEdNotHomeEdition("nothomeedition");
const CIString kEdStandalone("standalone");
const std::array<const CIString*, kCount>& All() {
    static const std::array<const CIString*, kCount> all = {
        &kLineEnd,
        &kHtmlScript,
        &kHtmlEndScript,
        &kHtmlLanguage,
        &kHtmlImg,
        &kHtmlSrc,
        &kHtmlData,
        &kHtmlWidth,
        &kHtmlHeight,
        &kHtmlApplet,
        &kHtmlEmbed,
        &kHtmlObject,
        &kHtmlClassid,
        &kHtmlClsid,
        &kHtmlJavaColon,
        &kHtmlType,
        &kHtmlMeta,
        &kHtmlContent,
        &kHtmlName,
        &kHtmlArea,
        &kHtmlBorder,
        &kHtmlAlt,
        &kHtmlOnMouseOver,
        &kHtmlOnMouseOut,
        &kHtmlOnClick,
        &kHtmlFrame,
        &kHtmlForm,
        &kHtmlAction,
        &kHtmlA,
        &kHtmlHref,
        &kHtmlHttpEquiv,
        &kHtmlBody,
        &kHtmlOnload,
        &kHtmlOnunload,
        &kHtmlInput,
        &kHtmlLayer,
        &kHtmlIframe,
        &kHtmlShapes,
        &kHtmlCodebase,
        &kHtmlScrolling,
        &kHtmlNo,
        &kHtmlTd,
        &kHtmlBackground,
        &kHtmlTable,
        &kHtmlFrameset,
        &kHtmlEndFrameset,
        &kHtmlRows,
        &kHtmlCols,
        &kCvPlatform,
        &kCvStats,
        &kCvRefresh,
        &kCvHiddenUser,
        &kMetaAge,
        &kMetaCacheControl,
        &kMetaExpires,
        &kMetaPragma,
        &kHdrAccept,
        &kHdrAcceptCharset,
        &kHdrAcceptEncoding,
        &kHdrAcceptLanguage,
        &kHdrAcceptRanges,
        &kHdrAge,
        &kHdrAllow,
        &kHdrAuthorization,
        &kHdrCacheControl,
        &kHdrClose,
        &kHdrConnection,
        &kHdrContentEncoding,
        &kHdrContentLanguage,
        &kHdrContentLength,
        &kHdrContentLocation,
        &kHdrContentMD5,
        &kHdrContentRange,
        &kHdrContentType,
        &kHdrDate,
        &kHdrEtag,
        &kHdrExpect,
        &kHdrExpires,
        &kHdrFrom,
        &kHdrHost,
        &kHdrIfMatch,
        &kHdrIfModifiedSince,
        &kHdrIfNoneMatch,
        &kHdrIfRange,
        &kHdrIfUnmodifiedSince,
        &kHdrLastModified,
        &kHdrLocation,
        &kHdrMaxForwards,
        &kHdrPragma,
        &kHdrProxyAuthenticate,
        &kHdrProxyAuthorization,
        &kHdrProxyConnection,
        &kHdrRange,
        &kHdrReferer,
        &kHdrRetryAfter,
        &kHdrServer,
        &kHdrTE,
        &kHdrTrailer,
        &kHdrTransferEncoding,
        &kHdrUpgrade,
        &kHdrUserAgent,
        &kHdrVary,
        &kHdrVia,
        &kHdrWarning,
        &kHdrWWWAuthenticate,
        &kResTransGif,
        &kResImageGif,
        &kResBlankHtml,
        &kResConf,
        &kResCvFile,
        &kResCvStats,
        &kJsWindowStatus,
        &kJsWindowOpen,
        &kJsOpen,
        &kJsLocationHref,
        &kJsBanner,
        &kJsPopupUrl,
        &kEdNotHomeEdition,
        &kEdStandalone,
    };
    return all;
}

} // namespace vocab
