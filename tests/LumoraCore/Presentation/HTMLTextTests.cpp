#include "Code/Presentation/HTMLText.h"

#include <gtest/gtest.h>

namespace {

TEST(HTMLText, CollapsesWhitespace) {
    EXPECT_EQ(collapseWhitespace("  a \t b\n\nc  "), "a b c");
    EXPECT_EQ(collapseWhitespace("a\u00a0\u2028b"), "a b");
    EXPECT_EQ(collapseWhitespace(" \n\t "), "");
    EXPECT_EQ(collapseWhitespace("caf\u00e9"), "caf\u00e9");
}

TEST(HTMLText, LinksOnlyWebAndMailAddressesWithPlainLinkTexts) {
    const std::pair<const char*, const char*> cases[] = {
        {"See [our site](https://example.com/a?b=1&amp;c=2) now",
         "See <a href=\"https://example.com/a?b=1&amp;c=2\">our site</a> now"},
        {"[Mail](mailto:a@example.com) and [web](HTTP://x)",
         "<a href=\"mailto:a@example.com\">Mail</a> and <a href=\"HTTP://x\">web</a>"},
        {"[x](javascript:alert(1))", "[x](javascript:alert(1))"},
        {"[x](site.html)", "[x](site.html)"},
        {"[a[b](https://x)", "[a<a href=\"https://x\">b</a>"},
        {"[a](https://x y)", "[a](https://x y)"},
        {"no links", "no links"},
        // The link text holds no bracket or line break.
        {"[a]b](https://x)", "[a]b](https://x)"},
        {"[a\nb](https://x)", "[a\nb](https://x)"},
        {"[a\rb](https://x)", "[a\rb](https://x)"},
        {"[a\u2028b](https://x)", "[a\u2028b](https://x)"},
        {"[a\u0085b](https://x)", "[a\u0085b](https://x)"},
        // A link that an earlier "]" would have swallowed is found on its own.
        {"[x] and [y](https://y)", "[x] and <a href=\"https://y\">y</a>"},
        {"[a\n[b](https://x)", "[a\n<a href=\"https://x\">b</a>"},
        {"[caf\u00e9 \u05d0](https://x)", "<a href=\"https://x\">caf\u00e9 \u05d0</a>"},
    };
    for (const auto& [text, html] : cases) {
        EXPECT_EQ(linkifyMarkdown(text), html) << text;
    }
}

TEST(HTMLText, LeavesPathologicalLinkTextsAsWritten) {
    std::string unclosed = "[";
    std::string unfinished;
    for (int i = 0; i < 200000; ++i) {
        unclosed += "](a";
        unfinished += "[a](x";
    }
    EXPECT_EQ(linkifyMarkdown(unclosed), unclosed);
    EXPECT_EQ(linkifyMarkdown(unfinished), unfinished);
    // One link whose address runs to the only ")" and is not linkable.
    EXPECT_EQ(linkifyMarkdown(unfinished + ")"), unfinished + ")");
}

TEST(HTMLText, LinksOnlyWhatTheLinkRulesAccept) {
    for (const char* address : {"https://x", "http://x/a?b=c", "HTTPS://X", "mailto:a@example.com"}) {
        EXPECT_TRUE(isLinkableAddress(address)) << address;
    }
    for (const char* address :
         {"", "javascript:alert(1)", "JavaScript:alert(1)", "file:///etc/passwd", "data:text/html,<b>x</b>",
          "vbscript:x", "ftp://x", "//x", "site.html", "https://a b", "https://a\tb", "https://a\nb",
          "https://a\u00a0b", "https://a\x7f", "https:", " https://x"}) {
        EXPECT_FALSE(isLinkableAddress(address)) << address;
    }
}

TEST(HTMLText, LinkedFormatTakesTheWholeAddressOrNothing) {
    EXPECT_EQ(linkedFormatHTML("<p>[Site](%@)</p>", "https://x/a_(b)?c=1&d=\"2\""),
              "<p><a href=\"https://x/a_(b)?c=1&amp;d=&quot;2&quot;\">Site</a></p>");
    EXPECT_EQ(linkedFormatHTML("[Help](https://help) and [Site](%@)", "mailto:a@b"),
              "<a href=\"https://help\">Help</a> and <a href=\"mailto:a@b\">Site</a>");
    for (const char* refused : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html;base64,PGI+",
                                "ftp://x", "", "https://a b"}) {
        EXPECT_EQ(linkedFormatHTML("<p>[Site](%@)</p>", refused), std::nullopt) << refused;
    }
}

TEST(HTMLText, WrapsParagraphs) {
    EXPECT_EQ(paragraphsHTML("one\n\ntwo [x](https://x)\n"),
              "<p>one</p>\n<p>two <a href=\"https://x\">x</a></p>");
    EXPECT_EQ(paragraphsHTML(""), "");
    EXPECT_EQ(paragraphsHTML(" lead"), "<p> lead</p>");
}

TEST(HTMLText, SubstitutedValuesTakeNoPartInLinks) {
    EXPECT_EQ(escapeHTMLAndMarkdown("[a](<b>) & 'c'"), "&#91;a&#93;&#40;&lt;b&gt;&#41; &amp; &#39;c&#39;");
    EXPECT_EQ(linkifyMarkdown(std::string("[").append(escapeHTMLAndMarkdown("x](https://evil)"))),
              "[x&#93;&#40;https://evil&#41;");
    const std::string name = "Pair](mailto:a@evil)";
    EXPECT_EQ(
        escapeHTMLWithSubstitutedValue(
            std::string("See [").append(name).append(" and [Help](https://help) (").append(name).append(")"),
            name),
        "See [Pair&#93;&#40;mailto:a@evil&#41; and [Help](https://help) (Pair&#93;&#40;mailto:a@evil&#41;)");
    // Overlapping occurrences are all covered: the second begins inside the first.
    EXPECT_EQ(escapeHTMLWithSubstitutedValue("x](](](y", "](]("), "x&#93;&#40;&#93;&#40;&#93;&#40;y");
    EXPECT_EQ(escapeHTMLWithSubstitutedValue("[a](b)", ""), "[a](b)");
    EXPECT_EQ(escapeHTMLWithSubstitutedValue("[a](b) <", "zz"), "[a](b) &lt;");
}

TEST(HTMLText, EscapesMarkupAndQuotes) {
    EXPECT_EQ(escapeHTML("<script>alert('x')</script> & \"q\""),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
    // An attribute breaker stays inside the address once escaped.
    EXPECT_EQ(linkifyMarkdown(escapeHTML("[x](https://a\"onmouseover=\"alert(1))")),
              "<a href=\"https://a&quot;onmouseover=&quot;alert(1\">x</a>)");
}

} // namespace
