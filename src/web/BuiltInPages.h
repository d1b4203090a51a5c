#pragma once

#include "text/CIString.h"

#include <cstddef>
#include <string>
#include <string_view>

class CStatistic;

// What the file, statistics and rating pages share: finding a file of the
// files directory, reading it, its media type, and the cv pseudo-tags that
// the page templates there hold.

// Each pseudo-tag's replacement is at most this long (the chart excepted).
inline constexpr std::size_t kPseudoTagLimit = 199;

// Replaces the pseudo-tags of a served page:
//   <cvplatform [standalone]>...</cvplatform>  the block, or only its tags
//   <cvstats name="Counter">                   the figure of statistic
//   <cvrefresh action>  a meta refresh of refreshSeconds when above 0
//   <cvrefresh>         refreshSeconds in decimal
//   <cvhiddenuser>      a hidden UserID field holding userName
//   <cvstatschart [names="A,B,..."]>  the counters as an inline SVG bar chart
// statistic may be null: figures and chart are then empty. Returns the new
// length of the page.
std::size_t ExpandPageTags(CIString& page, std::string_view userName, int refreshSeconds,
                           CStatistic* statistic);

// Replaces the rating pages' pseudo-tags (cvurl, cvtoprateframe,
// cvbottomrateframe, cvinputurl) for the URL being rated.
void ExpandRateTags(CIString& page, std::string_view url);

// The media type of a file name by its extension (after the last '.' of
// its last segment, any case); false and empty when the extension is
// unknown.
bool GetMediaTypeByExtension(std::string_view fileName, std::string& mediaType);

// The path of file name inside directory dir, or false: a name that is
// empty, absolute, holds a NUL, a backslash or a ".." segment, or that leads
// (through a symbolic link, say) outside the directory or to anything but a
// regular file, names nothing there.
bool ResolveFilesPath(const std::string& dir, std::string_view name, std::string& path);

// Reads a whole file in binary; false when it can't be opened or read, or
// is larger than any page (out is then empty).
bool ReadPageFile(const std::string& path, CIString& out);

// A page of directory dir as it is served: its bytes and, by its name's
// extension, its media type (empty when unknown). A name that names no
// readable file there, or an empty one, is the "file not found" error.
CIString LoadFilesPage(const std::string& dir, std::string_view name, std::string& mediaType);
