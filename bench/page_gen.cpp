#include "page_gen.h"

#include <random>

namespace leafstash::bench {
namespace {

const char* const kWords[] = {
    "the",    "offline", "reader",  "keeps",   "pages",  "with",   "their",
    "images", "and",     "links",   "so",      "a",      "copy",   "browses",
    "without", "network", "archive", "folder", "saved",  "news",   "story",
    "weather", "sports",  "market",  "report", "column", "letters", "today"};

class Writer {
 public:
  explicit Writer(unsigned Seed) : rng_(Seed) {}

  unsigned Pick(unsigned N) { return std::uniform_int_distribution<unsigned>(0, N - 1)(rng_); }

  std::string Words(unsigned N) {
    std::string s;
    for (unsigned i = 0; i < N; ++i) {
      if (i) s += ' ';
      s += kWords[Pick(std::size(kWords))];
    }
    return s;
  }

  // One block of a typical article page, a few lines long.
  void RealisticBlock(std::vector<std::string>& out, unsigned n) {
    const std::string id = std::to_string(n);
    switch (Pick(10)) {
      case 0:
        out.push_back("<!-- section " + id + ": " + Words(6) + " -->");
        break;
      case 1:
        out.push_back("<script type=\"text/javascript\">");
        out.push_back("  var item" + id + " = { name: '" + Words(2) +
                      "', count: " + id + " };");
        out.push_back("  function show" + id +
                      "(e) { if (e.x < 10 && e.y > 2) return \"<b>\" + e.name; }");
        out.push_back("</script>");
        break;
      case 2:
        out.push_back("<style type=text/css>");
        out.push_back("  .c" + id + " { background: url(img/bg" + id +
                      ".gif); color: #333; margin: 0 4px }");
        out.push_back("</style>");
        break;
      case 3:
        out.push_back("<table class=\"grid\" width=100%><tr><td valign=top>" +
                      Words(5) + "</td><td><img src=\"img/t" + id +
                      ".jpg\" width=120 height=90 alt='" + Words(3) +
                      "'></td></tr></table>");
        break;
      case 4:
        out.push_back("<ul class=menu><li><a href=\"/section/" + id +
                      "/index.html\" title=\"" + Words(2) + "\">" + Words(2) +
                      "</a></li><li><a href=page" + id + ".htm>" + Words(1) +
                      "</a></li></ul>");
        break;
      default:
        out.push_back("<div class=\"article\" id=a" + id + "><h2>" + Words(4) +
                      "</h2>");
        out.push_back("<p>" + Words(18) + " <a href=\"http://news.example/" +
                      id + ".html\">" + Words(3) + "</a> " + Words(14) +
                      "<br/>" + Words(10) + " <span style=\"font-weight:bold\">" +
                      Words(4) + "</span></p>");
        out.push_back("<p><img src=pics/p" + id + ".gif border=0> " + Words(22) +
                      "</p></div>");
        break;
    }
  }

  void HostileBlock(std::vector<std::string>& out, unsigned n) {
    const std::string id = std::to_string(n);
    switch (Pick(7)) {
      case 0:  // a run of "<"
        out.push_back(std::string(64 + Pick(64), '<') + " " + Words(3));
        break;
      case 1:  // a quote after "<" that closes only much later
        out.push_back("<\"" + Words(6) + " <a href=x" + id + ".html> <img src=y>");
        out.push_back(Words(30) + " <b> <i> " + Words(30) + "\">");
        break;
      case 2:  // attribute names without values
        out.push_back("<IMG SRC WIDTH HEIGHT BORDER ALT><A HREF NAME TARGET>"
                      "<BODY BACKGROUND><META NAME CONTENT><FRAME SRC>");
        break;
      case 3:  // an unclosed quote inside a tag
        out.push_back("<a href=\"" + Words(8) + " <'x" + id + "' <img src='y" + id);
        out.push_back(Words(20) + "\">" + Words(5));
        break;
      case 4:  // a style block full of calls without an end
        out.push_back("<STYLE> url( url( :url(" + Words(10) + " url ( url");
        out.push_back(Words(40) + " url(a.gif) </STYLE>");
        break;
      case 5:  // a script block with source names all over it
        out.push_back("<SCRIPT>src src= src=\"" + Words(10) + "'\" " + Words(10));
        out.push_back("<TITLE> <STYLE> <?php </SCRIPT>");
        break;
      default:  // a PHP block with many call names, closed far away
        out.push_back("<? include include( file( readfile( Header(\"Location:" +
                      Words(4) + " fopen(" + Words(12));
        out.push_back(" stat touch( lookup unlink( " + Words(20) + ") ?>");
        break;
    }
  }

 private:
  std::mt19937 rng_;
};

std::size_t Size(const std::vector<std::string>& Lines) {
  std::size_t total = 0;
  for (const auto& line : Lines) total += line.size() + 2;
  return total;
}

}  // namespace

std::vector<std::string> RealisticPageLines(std::size_t Bytes) {
  Writer w(12345);
  std::vector<std::string> lines = {
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">",
      "<html><head><title>Daily news archive</title>",
      "<meta name=\"description\" content=\"News of the day\">",
      "<link rel=\"stylesheet\" href=\"css/main.css\" type=\"text/css\">",
      "</head><body background=\"img/paper.gif\" bgcolor=#ffffff>"};
  std::size_t size = Size(lines);
  for (unsigned n = 0; size < Bytes; ++n) {
    const std::size_t before = lines.size();
    w.RealisticBlock(lines, n);
    for (std::size_t i = before; i < lines.size(); ++i) size += lines[i].size() + 2;
  }
  lines.push_back("</body></html>");
  return lines;
}

std::vector<std::string> HostilePageLines(std::size_t Bytes) {
  Writer w(777);
  std::vector<std::string> lines;
  std::size_t size = 0;
  // All but the last sixteenth is mixed hostile markup; the rest is a PHP
  // block without "?>" that the scan takes as its last block.
  const std::size_t body = Bytes - Bytes / 16;
  for (unsigned n = 0; size < body; ++n) {
    const std::size_t before = lines.size();
    w.HostileBlock(lines, n);
    for (std::size_t i = before; i < lines.size(); ++i) size += lines[i].size() + 2;
  }
  lines.push_back("<?php");
  size += 7;
  while (size < Bytes) {
    std::string line = "include( " + w.Words(8) + " file(" + w.Words(8) +
                       " stat( fopen(\"" + w.Words(4) + "\", 'r') Header(";
    size += line.size() + 2;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& Lines) {
  std::string text;
  text.reserve(Size(Lines));
  for (const auto& line : Lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace leafstash::bench
