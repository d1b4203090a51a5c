#include "html/CHTMLTag.h"

#include "os/CBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every tag NextTag finds in text, as "name|attribute area".
std::vector<std::string> Tags(std::string_view text) {
    CBuffer buffer;
    buffer.Append(text);
    CHTMLTag tag(buffer);
    std::vector<std::string> found;
    while (tag.NextTag())
        found.push_back(tag.TagName().Str() + "|" +
                        std::string(text.substr(tag.AttrStart(), tag.AttrLength())));
    return found;
}

// The one tag of text after fn has worked on it.
template <class Fn> std::string Edited(std::string_view text, Fn fn) {
    CBuffer buffer;
    buffer.Append(text);
    CHTMLTag tag(buffer);
    EXPECT_TRUE(tag.NextTag()) << text;
    fn(tag);
    return std::string(buffer.View());
}

using Found = std::vector<std::string>;

} // namespace

TEST(HTMLTag, WhatIsATagAndWhereItEnds) {
    const std::pair<const char*, Found> cases[] = {
        {"<a>", {"a|"}},
        {"x<A HREF=x>y", {"A|HREF=x"}},
        {"<a\nhref=x >", {"a|href=x"}},
        {"<br/>", {"br/|"}},
        {"< a><1a><=b>", {}},
        {"</td>", {"/td|"}},
        // '>' inside a quoted value, of either kind, belongs to the value.
        {R"(<a title="x>y" b>)", {R"(a|title="x>y" b)"}},
        // A quote that does not follow '=' opens nothing.
        {R"(<a b=x"y>z">)", {R"(a|b=x"y)"}},
        {"<p class=don't>x<b>", {"p|class=don't", "b|"}},
        // A comment ends at its first '>'.
        {"<!-- a > b -->", {"!--|a"}},
        // A tag cut by the end of the data is not found (yet).
        {"<b>x<a href=", {"b|"}},
    };
    for (const auto& [text, tags] : cases)
        EXPECT_EQ(Tags(text), tags) << text;

    // Too long for the trackers: the '<' is text, and so is all inside it.
    const std::string overlong = "<a title=\"" + std::string(40000, 'x') + "<b>\"><i>";
    EXPECT_EQ(Tags(overlong), Found{"i|"});
}

TEST(HTMLTag, AttributesAsBrowsersReadThem) {
    struct Case {
        const char* tag;
        const char* name;
        bool present;
        const char* value;
    };
    const Case cases[] = {
        {R"(<IMG SRC = "x.gif">)", "src", true, "x.gif"},
        {"<img src=>", "src", false, ""},
        {"<img src='a b.gif'>", "src", true, "a b.gif"},
        {"<img alt=don't src=y.gif>", "src", true, "y.gif"},
        {"<body onload bgcolor=red>", "onload", true, ""},
        {R"(<a href=\"x.html\" b=c>)", "href", true, "x.html"},
        {"<a hreff=x href=y>", "href", true, "y"},
    };
    for (const Case& c : cases) {
        CIString value = "?";
        Edited(c.tag,
               [&](CHTMLTag& tag) { EXPECT_EQ(tag.GetAttr(c.name, value), c.present) << c.tag; });
        EXPECT_EQ(value.Str(), c.value) << c.tag;
    }
}

TEST(HTMLTag, SetAttrAddsReplacesAndRemoves) {
    struct Case {
        const char* tag;
        const char* name;
        const char* value;
        const char* after;
    };
    const Case cases[] = {
        {"<body bgcolor=white>", "onload", "", "<body bgcolor=white>"},
        {R"(<img src="a" alt="b">)", "alt", "", R"(<img src="a">)"},
        {R"(<img alt="b" src=a>)", "alt", "", "<img src=a>"},
        {R"(<img src="a">)", "border", "0", R"(<img src="a" border="0">)"},
        {"<img>", "border", "0", R"(<img border="0">)"},
        {"<img src=a.gif width=1>", "src", "longer.gif", "<img src=longer.gif width=1>"},
        {"<img src='a.gif'>", "src", "b", "<img src='b'>"},
        {"<body onload>", "onload", "", "<body>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Edited(c.tag, [&](CHTMLTag& tag) { tag.SetAttr(c.name, c.value); }), c.after)
            << c.tag;

    // Several edits of one tag: each sees the tag as the last one left it.
    EXPECT_EQ(Edited("<img>",
                     [](CHTMLTag& tag) {
                         tag.SetAttr("src", "t.gif");
                         tag.SetAttr("border", "0");
                         tag.SetAttr("src", "");
                     }),
              R"(<img border="0">)");
}

// Offsets stay on the same bytes whatever is inserted or erased around them.
TEST(HTMLTag, FollowsTheBufferEdits) {
    struct Case {
        bool insert;
        std::uint32_t pos;
        std::uint32_t n;
        const char* text; // the buffer afterwards
        const char* name;
        const char* attrs;
    };
    // "ab <a href=x> cd": the tag's name at 4, attributes at 6, end at 13.
    const Case cases[] = {
        {true, 0, 2, "..ab <a href=x> cd", "a", "href=x"},
        {true, 12, 3, "ab <a href=x...> cd", "a", "href=x..."}, // at the area's end: it grows
        {true, 14, 2, "ab <a href=x> ..cd", "a", "href=x"},
        {false, 0, 3, "<a href=x> cd", "a", "href=x"},
        {false, 8, 2, "ab <a hr=x> cd", "a", "hr=x"},
        {false, 13, 3, "ab <a href=x>", "a", "href=x"},
    };
    for (const Case& c : cases) {
        CBuffer buffer;
        buffer.Append("ab <a href=x> cd");
        CHTMLTag tag(buffer);
        ASSERT_TRUE(tag.NextTag());
        if (c.insert)
            buffer.Insert(c.pos, std::string(c.n, '.').data(), c.n);
        else
            buffer.Erase(c.pos, c.n);
        const std::string_view text = buffer.View();
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(text.substr(tag.Start(), 1), c.name) << c.text;
        EXPECT_EQ(text.substr(tag.AttrStart(), tag.AttrLength()), c.attrs) << c.text;
        EXPECT_EQ(text[tag.End() - 1], '>') << c.text;
    }
}
