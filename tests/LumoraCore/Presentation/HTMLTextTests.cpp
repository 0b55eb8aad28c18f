#include "Code/Presentation/HTMLText.h"

#include <gtest/gtest.h>

namespace {

TEST(HTMLText, CollapsesWhitespace) {
    EXPECT_EQ(collapseWhitespace("  a \t b\n\nc  "), "a b c");
    EXPECT_EQ(collapseWhitespace("a\u00a0\u2028b"), "a b");
    EXPECT_EQ(collapseWhitespace(" \n\t "), "");
    EXPECT_EQ(collapseWhitespace("caf\u00e9"), "caf\u00e9");
}

TEST(HTMLText, LinksOnlyWebAndMailAddresses) {
    EXPECT_EQ(linkifyMarkdown("See [our site](https://example.com/a?b=1&amp;c=2) now"),
              "See <a href=\"https://example.com/a?b=1&amp;c=2\">our site</a> now");
    EXPECT_EQ(linkifyMarkdown("[Mail](mailto:a@example.com) and [web](HTTP://x)"),
              "<a href=\"mailto:a@example.com\">Mail</a> and <a href=\"HTTP://x\">web</a>");
    EXPECT_EQ(linkifyMarkdown("[x](javascript:alert(1))"), "[x](javascript:alert(1))");
    EXPECT_EQ(linkifyMarkdown("[x](site.html)"), "[x](site.html)");
    EXPECT_EQ(linkifyMarkdown("[a[b](https://x)"), "[a<a href=\"https://x\">b</a>");
    EXPECT_EQ(linkifyMarkdown("[a](https://x y)"), "[a](https://x y)");
    EXPECT_EQ(linkifyMarkdown("no links"), "no links");
}

TEST(HTMLText, GivesUpOnPathologicalLinkTexts) {
    std::string text = "[";
    for (int i = 0; i < 200000; ++i) {
        text += "](a";
    }
    const auto result = linkifyMarkdown(text);
    EXPECT_EQ(result, text);
}

TEST(HTMLText, WrapsParagraphs) {
    EXPECT_EQ(paragraphsHTML("one\n\ntwo [x](https://x)\n"),
              "<p>one</p>\n<p>two <a href=\"https://x\">x</a></p>");
    EXPECT_EQ(paragraphsHTML(""), "");
    EXPECT_EQ(paragraphsHTML(" lead"), "<p> lead</p>");
}

TEST(HTMLText, EscapesMarkupAndQuotes) {
    EXPECT_EQ(escapeHTML("<script>alert('x')</script> & \"q\""),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
    // An attribute breaker stays inside the address once escaped.
    EXPECT_EQ(linkifyMarkdown(escapeHTML("[x](https://a\"onmouseover=\"alert(1))")),
              "<a href=\"https://a&quot;onmouseover=&quot;alert(1\">x</a>)");
}

} // namespace
