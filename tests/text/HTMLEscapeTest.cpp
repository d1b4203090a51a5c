#include "text/HTMLEscape.h"

#include <gtest/gtest.h>

TEST(HTMLEscape, MarkupAndBothQuotes) {
    EXPECT_EQ(HTMLEscape("<script>alert('x')</script>&\"$%"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;$%");
}
