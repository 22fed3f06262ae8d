// Which link addresses are handed to the shell.
#include <gtest/gtest.h>
#include "viewer/links.h"

TEST(Uri, WebAndMailInAnyCase) {
  EXPECT_TRUE(isFollowableUri("http://example.org/a?b=c"));
  EXPECT_TRUE(isFollowableUri("https://example.org"));
  EXPECT_TRUE(isFollowableUri("mailto:someone@example.org"));
  EXPECT_TRUE(isFollowableUri("HTTPS://EXAMPLE.ORG"));
  EXPECT_TRUE(isFollowableUri("hTtP://x"));
  EXPECT_TRUE(isFollowableUri("MailTo:x@y"));
}

TEST(Uri, OtherSchemesAndNearMisses) {
  for (const char* uri : {"file:///etc/passwd", "javascript:alert(1)", "ftp://example.org", "", "http:/x", "https//x",
                          "mailto", " http://x", "httpx://x", "news:comp.lang"})
    EXPECT_FALSE(isFollowableUri(uri)) << uri;
}

// Setting bit 0x20 would turn 0x1A into ':' and 0x0F into '/': only letters fold.
TEST(Uri, ControlBytesNeverBecomePunctuation) {
  EXPECT_FALSE(isFollowableUri("http\x1A//example.org"));
  EXPECT_FALSE(
      isFollowableUri("http:\x0F\x0F"
                      "example.org"));
  EXPECT_FALSE(isFollowableUri("mailto\x1Ax@y"));
  EXPECT_FALSE(isFollowableUri("HTTP\x1A//x"));
}
