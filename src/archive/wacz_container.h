// The WACZ container around a job's WARC records: the index replay tools
// look records up in, the list of pages, and the package description with
// each file's digest, zipped with libzip so that the WARC data stays
// stored as it is and can be read at any record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace leafstash {

// One record that replay can find: a response or a resource.
struct TIndexEntry {
  std::string Url;
  std::string Timestamp;  // 14 digits, UTC
  std::string Mime;
  int Status = 0;         // 0: a resource, read as 200
  std::string Digest;     // of the payload, "sha1:..."
  std::uint64_t Offset = 0;
  std::uint64_t Length = 0;
};

struct TPageEntry {
  std::string Url;
  std::string Title;
  std::string Date;   // ISO 8601, UTC
  std::string Notes;  // empty: none
};

struct TWaczContent {
  int WarcFd = -1;  // the records, read from the start; not closed
  std::uint64_t WarcSize = 0;
  std::string WarcSha256;  // of those bytes
  std::vector<TIndexEntry> Index;
  std::vector<TPageEntry> Pages;
  std::string Title;
  std::string Software;
  std::string Created;  // ISO 8601, UTC
};

// The SURT form of an address that CDXJ indexes sort by: the host's labels
// (an IPv4 address's numbers too) reversed and comma-separated (a leading
// "www" dropped), the port kept,
// ")" and the path with its query, lower case; the scheme and the fragment
// go.
std::string SurtOf(const std::string& Url);

// The CDXJ lines of Entries, sorted as readers expect.
std::string CdxjOf(std::vector<TIndexEntry> Entries);
std::string PagesJsonl(const std::vector<TPageEntry>& Pages);

// Writes the WACZ file at Path. libzip writes it under a name of its own
// and renames it at the end: on failure (false, with the reason in Why)
// nothing is left under Path, and a file already there stays as it was.
bool WriteWacz(const std::string& Path, const TWaczContent& Content, std::string& Why);

}  // namespace leafstash
