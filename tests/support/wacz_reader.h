// Reading a WACZ file back for the tests: its members through libzip, and
// the WARC records of archive/data.warc.gz, each checked to be a gzip
// member of its own.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace leafstash::test {

// The members of the zip at Path by name; nothing when it cannot be read.
inline std::optional<std::map<std::string, std::string>> ReadZip(const std::string& Path) {
  int error = 0;
  zip_t* zip = zip_open(Path.c_str(), ZIP_RDONLY, &error);
  if (!zip) return std::nullopt;
  std::map<std::string, std::string> members;
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
    if (file) {
      zip_fread(file, data.data(), st.size);
      zip_fclose(file);
    }
    members[st.name] = std::move(data);
  }
  zip_close(zip);
  return members;
}

// How each member is stored: ZIP_CM_STORE or a compression method.
inline std::map<std::string, int> ZipMethods(const std::string& Path) {
  std::map<std::string, int> methods;
  int error = 0;
  zip_t* zip = zip_open(Path.c_str(), ZIP_RDONLY, &error);
  if (!zip) return methods;
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st);
    methods[st.name] = st.comp_method;
  }
  zip_close(zip);
  return methods;
}

// One gzip member from Offset: its bytes inflated, and how many bytes of
// Data it took; nothing when it is not a whole member.
inline std::optional<std::pair<std::string, std::size_t>> Gunzip(const std::string& Data,
                                                                  std::size_t Offset) {
  z_stream z{};
  if (inflateInit2(&z, 31) != Z_OK) return std::nullopt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data() + Offset));
  z.avail_in = static_cast<uInt>(Data.size() - Offset);
  std::string out;
  char buffer[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
  }
  const std::size_t used = Data.size() - Offset - z.avail_in;
  inflateEnd(&z);
  if (result != Z_STREAM_END) return std::nullopt;
  return std::make_pair(out, used);
}

struct WarcRecord {
  std::size_t Offset = 0;  // of its gzip member
  std::size_t Length = 0;
  std::map<std::string, std::string> Fields;  // by name as written
  std::string Block;
  std::string Field(const std::string& Name) const {
    auto it = Fields.find(Name);
    return it == Fields.end() ? std::string() : it->second;
  }
  // The HTTP head of a request or response block, and what follows it.
  std::string HttpHead() const { return Block.substr(0, Block.find("\r\n\r\n") + 4); }
  std::string Payload() const {
    const std::size_t end = Block.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : Block.substr(end + 4);
  }
};

// Every record of a WARC file whose records are gzip members of their own;
// a record that does not parse fails the test.
inline std::vector<WarcRecord> ReadWarc(const std::string& Data) {
  std::vector<WarcRecord> records;
  for (std::size_t at = 0; at < Data.size();) {
    const auto member = Gunzip(Data, at);
    if (!member) {
      ADD_FAILURE() << "no whole gzip member at " << at;
      break;
    }
    const std::string& text = member->first;
    WarcRecord record;
    record.Offset = at;
    record.Length = member->second;
    const std::size_t headEnd = text.find("\r\n\r\n");
    EXPECT_EQ(text.rfind("WARC/1.1\r\n", 0), 0u) << "at " << at;
    if (headEnd == std::string::npos) {
      ADD_FAILURE() << "a record without the end of its head at " << at;
      break;
    }
    for (std::size_t line = text.find("\r\n") + 2; line < headEnd;) {
      const std::size_t end = text.find("\r\n", line);
      const std::string field = text.substr(line, end - line);
      const std::size_t colon = field.find(": ");
      record.Fields[field.substr(0, colon)] = field.substr(colon + 2);
      line = end + 2;
    }
    const std::size_t length = std::stoull(record.Field("Content-Length"));
    record.Block = text.substr(headEnd + 4, length);
    EXPECT_EQ(record.Block.size(), length);
    EXPECT_EQ(text.substr(headEnd + 4 + length), "\r\n\r\n") << "each member holds one record";
    records.push_back(std::move(record));
    at += member->second;
  }
  return records;
}

}  // namespace leafstash::test
