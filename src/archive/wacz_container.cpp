#include "archive/wacz_container.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "archive/digest.h"
#include "html/text_utils.h"

namespace leafstash {
namespace {

std::string Sha256Of(const std::string& Bytes) {
  TDigest digest(TDigest::TKind::Sha256);
  digest.Update(Bytes);
  return Sha256Label(digest.Finish());
}

}  // namespace

std::string SurtOf(const std::string& Url) {
  std::string rest = Url;
  if (const std::size_t scheme = rest.find("://"); scheme != std::string::npos)
    rest = rest.substr(scheme + 3);
  if (const std::size_t hash = rest.find('#'); hash != std::string::npos) rest.resize(hash);
  const std::size_t slash = rest.find_first_of("/?");
  std::string authority = LowerCopy(rest.substr(0, slash));
  const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos)
    authority = authority.substr(at + 1);
  std::string host = authority, port;
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon);
  }
  // IPv4 addresses are reversed as names are; an IPv6 address stays whole.
  std::string key;
  if (!host.empty() && host.front() == '[') {
    key = host;
  } else {
    std::vector<std::string> labels;
    for (std::size_t at = 0;;) {
      const std::size_t dot = host.find('.', at);
      labels.push_back(host.substr(at, dot - at));
      if (dot == std::string::npos) break;
      at = dot + 1;
    }
    if (labels.size() > 2 && labels.front() == "www") labels.erase(labels.begin());
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
      if (!key.empty()) key += ',';
      key += *it;
    }
  }
  return key + port + ")" + LowerCopy(path.empty() || path[0] == '?' ? "/" + path : path);
}

std::string CdxjOf(std::vector<TIndexEntry> Entries) {
  std::vector<std::string> lines;
  lines.reserve(Entries.size());
  for (const TIndexEntry& e : Entries) {
    nlohmann::ordered_json fields = {{"url", e.Url}};
    if (!e.Mime.empty()) fields["mime"] = e.Mime;
    fields["status"] = std::to_string(e.Status ? e.Status : 200);
    fields["digest"] = e.Digest;
    fields["length"] = std::to_string(e.Length);
    fields["offset"] = std::to_string(e.Offset);
    fields["filename"] = "data.warc.gz";
    // Addresses are not always valid UTF-8: such bytes are replaced.
    lines.push_back(SurtOf(e.Url) + " " + e.Timestamp + " " +
                    fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string PagesJsonl(const std::vector<TPageEntry>& Pages) {
  std::string out = R"({"format": "json-pages-1.0", "id": "pages", "title": "All Pages"})";
  out += "\n";
  for (const TPageEntry& page : Pages) {
    nlohmann::ordered_json line = {{"id", RandomUuidUrn().substr(9)}, {"url", page.Url},
                                   {"title", page.Title}, {"ts", page.Date}};
    if (!page.Notes.empty()) line["notes"] = page.Notes;
    out += line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return out;
}

bool WriteWacz(const std::string& Path, const TWaczContent& Content, std::string& Why) {
  const std::string index = CdxjOf(Content.Index);
  const std::string pages = PagesJsonl(Content.Pages);
  nlohmann::ordered_json package = {
      {"profile", "data-package"},
      {"resources",
       {{{"name", "data.warc.gz"}, {"path", "archive/data.warc.gz"},
         {"hash", Sha256Label(Content.WarcSha256)}, {"bytes", Content.WarcSize}},
        {{"name", "index.cdxj"}, {"path", "indexes/index.cdxj"}, {"hash", Sha256Of(index)},
         {"bytes", index.size()}},
        {{"name", "pages.jsonl"}, {"path", "pages/pages.jsonl"}, {"hash", Sha256Of(pages)},
         {"bytes", pages.size()}}}},
      {"wacz_version", "1.1.1"},
      {"title", Content.Pages.empty() ? Content.Title : Content.Pages.front().Title},
      {"software", Content.Software},
      {"created", Content.Created},
  };
  if (!Content.Pages.empty()) {
    package["mainPageUrl"] = Content.Pages.front().Url;
    package["mainPageDate"] = Content.Pages.front().Date;
  }
  const std::string packageText =
      package.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);

  struct stat st {};
  if (::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    Why = std::strerror(EISDIR);
    return false;
  }
  int error = 0;
  zip_t* zip = zip_open(Path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) {
    zip_error_t e;
    zip_error_init_with_code(&e, error);
    Why = zip_error_strerror(&e);
    zip_error_fini(&e);
    return false;
  }
  const auto fail = [&] {
    Why = zip_strerror(zip);
    zip_discard(zip);
    return false;
  };
  const auto add = [&](const char* Name, zip_source_t* Source, bool Store) {
    if (!Source) return false;
    const zip_int64_t at = zip_file_add(zip, Name, Source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (at < 0) {
      zip_source_free(Source);
      return false;
    }
    // The WARC data is stored as it is, so a reader can seek to a record.
    return !Store || zip_set_file_compression(zip, static_cast<zip_uint64_t>(at), ZIP_CM_STORE, 0) == 0;
  };
  // The records are read from their start, whatever the file's position.
  const int fd = ::dup(Content.WarcFd);
  if (fd >= 0) ::lseek(fd, 0, SEEK_SET);
  FILE* warc = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
  if (!warc) {
    if (fd >= 0) ::close(fd);
    return fail();
  }
  zip_source_t* records = zip_source_filep(zip, warc, 0, static_cast<zip_int64_t>(Content.WarcSize));
  if (!records) std::fclose(warc);
  if (!add("archive/data.warc.gz", records, true)) return fail();
  if (!add("indexes/index.cdxj", zip_source_buffer(zip, index.data(), index.size(), 0), false) ||
      !add("pages/pages.jsonl", zip_source_buffer(zip, pages.data(), pages.size(), 0), false) ||
      !add("datapackage.json",
           zip_source_buffer(zip, packageText.data(), packageText.size(), 0), false))
    return fail();
  if (zip_close(zip) != 0) return fail();
  return true;
}

}  // namespace leafstash
