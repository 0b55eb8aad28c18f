#include "ZRFoundation/URL/ZRURL.h"

#include <gtest/gtest.h>

namespace {

TEST(ZRURL, WritesFileAndDirectoryURLs) {
    const auto directory = ZRURL::fileURL("/Applications/Text Editor.app/", true);
    EXPECT_EQ(directory.absoluteString(), "file:///Applications/Text%20Editor.app/");
    EXPECT_TRUE(directory.hasDirectoryPath());
    EXPECT_TRUE(directory.isFileURL());
    EXPECT_EQ(directory.path(), "/Applications/Text Editor.app");
    EXPECT_EQ(directory.lastPathComponent(), "Text Editor.app");

    const auto file = ZRURL::fileURL("/tmp/a/../b/Lumora#1.plist", false);
    EXPECT_EQ(file.absoluteString(), "file:///tmp/b/Lumora%231.plist");
    EXPECT_FALSE(file.hasDirectoryPath());
    EXPECT_EQ(ZRURL::fileURL("/", true).absoluteString(), "file:///");
    EXPECT_EQ(ZRURL::fileURL("/caf\u00e9", false).absoluteString(), "file:///caf%C3%A9");
}

TEST(ZRURL, ParsesWebAndFileURLText) {
    const auto web = ZRURL::URLWithString("https://example.com/path/page.html?q=1");
    ASSERT_TRUE(web.has_value());
    EXPECT_EQ(web->scheme(), "https");
    EXPECT_EQ(web->host(), "example.com");
    EXPECT_EQ(web->lastPathComponent(), "page.html");
    EXPECT_FALSE(web->isFileURL());

    const auto file = ZRURL::URLWithString("file:///Applications/Text%20Editor.app/");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->isFileURL());
    EXPECT_TRUE(file->hasDirectoryPath());
    EXPECT_EQ(file->path(), "/Applications/Text Editor.app");

    // A relative reference is a URL too.
    EXPECT_TRUE(ZRURL::URLWithString("example.com").has_value());
    for (const char* text : {"", "not a url", "http://exa mple.com", "https://%zz", "a\"b", "<x>"}) {
        EXPECT_FALSE(ZRURL::URLWithString(text).has_value()) << text;
    }
}

} // namespace
