// A page handed over as shown, made inert: what would run or reload goes,
// data and text stay, and the copy says it is UTF-8.
#include <gtest/gtest.h>

#include "html/inert_page.h"

namespace leafstash {
namespace {

constexpr const char* kMeta = "<meta charset=\"utf-8\">";

TEST(InertPage, ScriptsThatRunGoAndDataBlocksStay) {
  EXPECT_EQ(InertPage("<head></head><body>a<script>document.write('x')</script>b"
                      "<SCRIPT type=\"module\" src=m.js></SCRIPT >c"
                      "<script type=' Text/JavaScript; charset=utf-8'>x()</script>d"
                      "<script language=javascript>y()</script>e"
                      "<script type=importmap>{}</script>"
                      "<script type=\"application/ld+json\">{\"@type\": \"Thing\"}</script>"
                      "<script type=text/template><p>{{x}}</p></script>"
                      "<script>if (a</b) {}</script>f</body>"),
            std::string("<head>") + kMeta +
                "</head><body>abcde"
                "<script type=\"application/ld+json\">{\"@type\": \"Thing\"}</script>"
                "<script type=text/template><p>{{x}}</p></script>f</body>");
  // An SVG script, closed or not, and a script the text ends in.
  EXPECT_EQ(InertPage("<head><svg><script href=s.js /><script>z()</script><circle/></svg>"
                      "<script>never"),
            std::string("<head>") + kMeta + "<svg><circle/></svg>");
}

TEST(InertPage, HandlersAndJavaScriptAddressesGoLinksStayLinks) {
  EXPECT_EQ(
      InertPage("<head><body onload=\"init()\" class=x ONCLICK='go()'>"
                "<a href=\"javascript:void(0)\" onmouseover=f()>menu</a>"
                "<a href=\" &#106;ava&#x73;cript:alert(1)\">encoded</a>"
                "<a href=\"java\tscript:x\">split</a>"
                "<iframe src=\"JavaScript:''\" title=t></iframe>"
                "<form action=javascript:send()><button formaction='javascript:b()'>b</button></form>"
                "<svg><a xlink:href=\"javascript:x()\"><text>t</text></a></svg>"
                "<a href=\"/javascript:ok.html\">a file</a><img src=x.png onerror=\"bad()\">"),
      std::string("<head>") + kMeta +
          "<body class=x>"
          "<a href=\"#\">menu</a><a href=\"#\">encoded</a><a href=\"#\">split</a>"
          "<iframe title=t></iframe><form><button>b</button></form>"
          "<svg><a xlink:href=\"#\"><text>t</text></a></svg>"
          "<a href=\"/javascript:ok.html\">a file</a><img src=x.png>");
}

TEST(InertPage, RefreshPoliciesAndCharsetsGoTextAndStylesStay) {
  EXPECT_EQ(InertPage("<!DOCTYPE html><html><head>"
                      "<meta http-equiv=\"Refresh\" content=\"5; url=/next\">"
                      "<meta charset=windows-1251>"
                      "<meta http-equiv=content-type content=\"text/html; charset=koi8-r\">"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'none'\">"
                      "<meta name=viewport content=width=device-width>"
                      "<style>a[onclick] { color: red } /* <script>x</script> */</style>"
                      "<title>onload=\"x\" <script></title></head>"
                      "<body><!-- <script>y()</script> --><textarea><a onclick=x></textarea>"
                      "<p>if (a < b) javascript: onload=</p></body></html>"),
            std::string("<!DOCTYPE html><html><head>") + kMeta +
                "<meta name=viewport content=width=device-width>"
                "<style>a[onclick] { color: red } /* <script>x</script> */</style>"
                "<title>onload=\"x\" <script></title></head>"
                "<body><!-- <script>y()</script> --><textarea><a onclick=x></textarea>"
                "<p>if (a < b) javascript: onload=</p></body></html>");
  // Without a head, the declaration goes first, after a doctype.
  EXPECT_EQ(InertPage("<!doctype html><p>x"), std::string("<!doctype html>") + kMeta + "<p>x");
  EXPECT_EQ(InertPage("<p>x"), std::string(kMeta) + "<p>x");
}

TEST(InertPage, SrcdocPagesAreMadeInertInsideTheirAttribute) {
  EXPECT_EQ(InertPage("<head><iframe srcdoc=\"<p onclick=&quot;x()&quot;>in</p>"
                      "<script>y()</script><iframe srcdoc='&lt;script&gt;z()&lt;/script&gt;ok'>"
                      "</iframe>\"></iframe><iframe srcdoc=plain></iframe>"),
            std::string("<head>") + kMeta +
                "<iframe srcdoc=\"<p>in</p><iframe srcdoc=&#39;ok&#39;></iframe>\"></iframe>"
                "<iframe srcdoc=plain></iframe>");
}

}  // namespace
}  // namespace leafstash
